// Crate names, given or derived from the symbol, and the target checks.
#include <gtest/gtest.h>

#include <string>

#include "core/project/naming.h"
#include "core/request/tables.h"
#include "tests/support/json_reference.h"

namespace lantor {
namespace {

constexpr const char* kNoSymbol = "no crate_name and the strategy has no string `symbol` to derive one";

std::string invalid_name(const std::string& quoted) {
  return "crate name " + quoted + " is not a valid identifier (^[a-z][a-z0-9_]*$); set `crate_name`";
}

// The outcome of derive_crate_name: "ok:<name>" or the failure text.
std::string derive(const char* strategy_json, const char* crate_name_json = nullptr) {
  CompileSpec spec;
  auto strategy = json::parse_json(strategy_json);
  EXPECT_TRUE(strategy.ok()) << strategy_json;
  if (strategy.ok()) spec.strategy = json::tape_from_value(*strategy);
  if (crate_name_json) {
    auto name = json::parse_json(crate_name_json);
    EXPECT_TRUE(name.ok() && name->is_string()) << crate_name_json;
    if (name.ok()) spec.crate_name = name->as_string();
  }
  auto r = derive_crate_name(spec);
  return r.ok() ? "ok:" + *r : r.error();
}

struct DeriveRow {
  const char* symbol_json;
  std::string expected;
};

class DeriveFromSymbol : public ::testing::TestWithParam<DeriveRow> {};

TEST_P(DeriveFromSymbol, GivesNameOrText) {
  std::string strategy = std::string(R"({"timeframe":"1h","symbol":)") + GetParam().symbol_json + "}";
  EXPECT_EQ(derive(strategy.c_str()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Symbols, DeriveFromSymbol,
    ::testing::Values(DeriveRow{R"("BTC-USDT")", "ok:btc_usdt"}, DeriveRow{R"("ETH/USD")", "ok:eth_usd"},
                      DeriveRow{R"("sol.perp")", "ok:sol_perp"}, DeriveRow{R"("a b_c")", "ok:a_b_c"},
                      DeriveRow{R"("x9")", "ok:x9"},
                      // One "_" per character, whatever its UTF-8 length (2, 3 and 4 bytes).
                      DeriveRow{R"("xé日😀y")", "ok:x___y"},
                      DeriveRow{R"("1000PEPE-USDT")", invalid_name(R"("1000pepe_usdt")")},
                      DeriveRow{R"("_BTC")", invalid_name(R"("_btc")")},
                      DeriveRow{R"("Ärger")", invalid_name(R"("_rger")")},
                      DeriveRow{R"("")", invalid_name(R"("")")}));

struct GivenRow {
  const char* name_json;
  std::string expected;
};

class GivenName : public ::testing::TestWithParam<GivenRow> {};

// A given name is taken verbatim, never transformed, and the symbol is not
// looked at (1INCH alone would fail).
TEST_P(GivenName, IsCheckedVerbatim) {
  EXPECT_EQ(derive(R"({"symbol":"1INCH"})", GetParam().name_json), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, GivenName,
    ::testing::Values(GivenRow{R"("bot")", "ok:bot"}, GivenRow{R"("pepe")", "ok:pepe"},
                      GivenRow{R"("a_1_")", "ok:a_1_"}, GivenRow{R"("MyBot")", invalid_name(R"("MyBot")")},
                      GivenRow{R"("")", invalid_name(R"("")")},
                      GivenRow{R"("my-bot")", invalid_name(R"("my-bot")")},
                      GivenRow{R"(" bot")", invalid_name(R"(" bot")")},
                      // The quoted form: backslash escapes for " \ tab CR LF NUL, \u{hex}
                      // for other controls, non-printables and combining marks; printable
                      // non-ASCII and the single quote unchanged.
                      GivenRow{R"("a\"b\\c")", invalid_name(R"("a\"b\\c")")},
                      GivenRow{R"("\t\r\n\u0000")", invalid_name(R"("\t\r\n\0")")},
                      GivenRow{R"("\u0001\u001f\u007f\u0085")", invalid_name(R"("\u{1}\u{1f}\u{7f}\u{85}")")},
                      GivenRow{R"("e\u0301")", invalid_name(R"("e\u{301}")")},
                      GivenRow{R"("\u200b\u00a0\u2028\ue000")",
                               invalid_name(R"("\u{200b}\u{a0}\u{2028}\u{e000}")")},
                      GivenRow{R"("é'日")", invalid_name(R"("é'日")")}));

TEST(DeriveCrateName, NeedsAStringSymbolWhenNoNameIsGiven) {
  for (const char* strategy : {R"(["BTC-USDT","1h",{}])", R"({"symbol":5})", R"({"symbol":null})",
                               R"({"timeframe":"1h"})", R"("BTC")"}) {
    EXPECT_EQ(derive(strategy), kNoSymbol) << strategy;
  }
  // With a given name the strategy's shape does not matter.
  EXPECT_EQ(derive(R"(["BTC-USDT"])", R"("bot")"), "ok:bot");
}

struct TargetRow {
  Target::Kind kind;
  const char* mcu;
  std::string expected;  // "" when accepted
};

class CheckTarget : public ::testing::TestWithParam<TargetRow> {};

TEST_P(CheckTarget, AcceptsOrNames) {
  Target target{GetParam().kind, GetParam().mcu};
  auto r = check_target(target);
  EXPECT_EQ(r.ok() ? std::string() : r.error(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, CheckTarget,
    ::testing::Values(
        // Wasm and Binary never consult the allow-list.
        TargetRow{Target::Kind::Wasm, "not a triple", ""}, TargetRow{Target::Kind::Binary, "", ""},
        TargetRow{Target::Kind::NoStd, "thumbv7em-none-eabihf", ""},
        TargetRow{Target::Kind::NoStd, "Thumbv7em-none-eabihf",
                  R"(mcu "Thumbv7em-none-eabihf" is not in the allowlist)"},
        TargetRow{Target::Kind::NoStd, "thumbv7em-none-eabihf ",
                  R"(mcu "thumbv7em-none-eabihf " is not in the allowlist)"},
        TargetRow{Target::Kind::NoStd, "thumbv6m-none-eabihf",
                  R"(mcu "thumbv6m-none-eabihf" is not in the allowlist)"},
        TargetRow{Target::Kind::NoStd, "", R"(mcu "" is not in the allowlist)"},
        TargetRow{Target::Kind::NoStd, "x\"\n", R"(mcu "x\"\n" is not in the allowlist)"}));

TEST(CheckTarget, AcceptsEveryAllowListedTriple) {
  ASSERT_EQ(std::size(request::kMcuAllowlist), 7u);
  for (std::string_view mcu : request::kMcuAllowlist)
    EXPECT_TRUE(check_target(Target{Target::Kind::NoStd, std::string(mcu)}).ok()) << mcu;
}

}  // namespace
}  // namespace lantor
