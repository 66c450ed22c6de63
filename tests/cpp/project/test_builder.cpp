// build_project: the file set per target, the generated texts, the CSV
// dataset, the order of checks, and the three kinds of hash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/base/sha256.h"
#include "core/json/canonical.h"
#include "core/project/compile_error.h"
#include "core/project/plan.h"
#include "core/project/templates.h"
#include "project_test_support.h"
#include "tests/support/json_reference.h"

namespace lantor {
namespace {

using project_testing::kStrategy;
using project_testing::ScratchDir;
using project_testing::spec_of;
using project_testing::spec_with;

constexpr const char* kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

ProjectPlan plan_of(const CompileSpec& spec) {
  auto plan = build_project(spec);
  EXPECT_TRUE(plan.ok()) << (plan.ok() ? "" : plan.error().text());
  return plan.ok() ? std::move(plan).value() : ProjectPlan{};
}

std::string error_of(const CompileSpec& spec) {
  auto plan = build_project(spec);
  EXPECT_FALSE(plan.ok());
  return plan.ok() ? std::string() : plan.error().text();
}

std::vector<std::string> paths(const ProjectPlan& plan) {
  std::vector<std::string> out;
  for (const ManifestFile& f : plan.files) out.push_back(f.path);
  return out;
}

std::string csv_spec(const std::string& path) {
  std::string text = "{\"strategy\":";
  text += kStrategy;
  text += ",\"target\":{\"kind\":\"binary\"},\"embed_data\":{\"kind\":\"csv\",\"path\":";
  json::append_json_string(text, path);
  text += "}}";
  return text;
}

// The hashed form built as a value and written by the canonical writer: the
// straightforward computation the builder's streamed digest must agree with.
std::string reference_spec_hash(const CompileSpec& spec) {
  json::Object form;
  form.set("strategy", json::value_from_tape(spec.strategy));
  json::Object target;
  target.set("kind", json::Value::string(std::string(target_kind_name(spec.target.kind))));
  if (spec.target.kind == Target::Kind::NoStd) target.set("mcu", json::Value::string(spec.target.mcu));
  form.set("target", json::Value::object(std::move(target)));
  form.set("opt_level", json::Value::string(std::string(opt_level_name(spec.opt_level))));
  if (spec.embed_data) {
    json::Object data;
    if (spec.embed_data->kind == DatasetRef::Kind::Csv) {
      data.set("kind", json::Value::string("csv"));
      data.set("path", json::Value::string(spec.embed_data->path));
    } else {
      data.set("kind", json::Value::string("inline"));
      // The candles as the request kept them; the reference reads them back.
      data.set("candles", *json::parse_json(*spec.embed_data->candles_json));
    }
    form.set("embed_data", json::Value::object(std::move(data)));
  }
  if (spec.crate_name) form.set("crate_name", json::Value::string(*spec.crate_name));
  return sha256_hex(json::canonical_json(json::Value::object(std::move(form))));
}

std::string reference_project_hash(const ProjectPlan& plan) {
  std::string listing;
  for (const auto& [path, text] : plan.contents) listing += path + "\n" + sha256_hex(text) + "\n";
  return sha256_hex(listing);
}

struct FileSetRow {
  const char* target;
  const char* extra;
  std::vector<std::string> paths;
};

class FileSet : public ::testing::TestWithParam<FileSetRow> {};

TEST_P(FileSet, ListsTheTargetsFilesInByteOrder) {
  ProjectPlan plan = plan_of(spec_with(GetParam().target, GetParam().extra));
  EXPECT_EQ(paths(plan), GetParam().paths);
  // Manifest entries and contents agree one to one.
  ASSERT_EQ(plan.contents.size(), plan.files.size());
  auto it = plan.contents.begin();
  for (const ManifestFile& f : plan.files) {
    EXPECT_EQ(f.path, it->first);
    EXPECT_EQ(f.sha256, sha256_hex(it->second)) << f.path;
    EXPECT_EQ(f.bytes_len, it->second.size()) << f.path;
    ++it;
  }
  EXPECT_EQ(plan.project_hash, reference_project_hash(plan));
  EXPECT_EQ(plan.compiler_version, "0.1.2");
  EXPECT_EQ(plan.backtest_dep, "0.1.5");
  EXPECT_EQ(plan.crate_name, "btc_usdt");
  // A dry run's plan keeps no text and reports the same.
  auto digests =
      build_project(spec_with(GetParam().target, GetParam().extra), AT_FDCWD, Contents::DigestsOnly);
  ASSERT_TRUE(digests.ok());
  EXPECT_TRUE(digests->contents.empty());
  EXPECT_FALSE(digests->complete);
  EXPECT_EQ(digests->spec_hash, plan.spec_hash);
  EXPECT_EQ(digests->project_hash, plan.project_hash);
  ASSERT_EQ(digests->files.size(), plan.files.size());
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    EXPECT_EQ(digests->files[i].path, plan.files[i].path);
    EXPECT_EQ(digests->files[i].sha256, plan.files[i].sha256) << plan.files[i].path;
    EXPECT_EQ(digests->files[i].bytes_len, plan.files[i].bytes_len) << plan.files[i].path;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, FileSet,
    ::testing::Values(
        FileSetRow{R"({"kind":"binary"})",
                   R"(,"opt_level":"debug")",
                   {"Cargo.toml", "src/main.rs", "src/spec.json"}},
        FileSetRow{
            R"({"kind":"wasm"})", "", {".cargo/config.toml", "Cargo.toml", "src/lib.rs", "src/spec.json"}},
        FileSetRow{R"({"kind":"no_std","mcu":"thumbv6m-none-eabi"})",
                   R"(,"embed_data":{"kind":"inline","candles":[]})",
                   {".cargo/config.toml", "Cargo.toml", "src/candles.json", "src/lib.rs", "src/spec.json"}},
        FileSetRow{R"({"kind":"wasm"})",
                   R"(,"embed_data":{"kind":"inline","candles":[[1,2.5]]})",
                   {".cargo/config.toml", "Cargo.toml", "src/candles.json", "src/lib.rs", "src/spec.json"}}));

TEST(BuildProject, BinaryDebugManifestEndsWithTheEmptyLine) {
  ProjectPlan plan = plan_of(spec_with(R"({"kind":"binary"})", R"(,"opt_level":"debug")"));
  const std::string& manifest = plan.contents.at("Cargo.toml");
  EXPECT_TRUE(manifest.starts_with("[package]\nname = \"btc_usdt\"\n"));
  EXPECT_TRUE(manifest.ends_with("lantor-backtest = \"0.1.5\"\nserde_json = \"1\"\n\n"));
  EXPECT_EQ(plan.contents.at("src/main.rs"), kBinaryMainSource);
  EXPECT_EQ(plan.opt_level, OptLevel::Debug);
  EXPECT_EQ(plan.target.kind, Target::Kind::Binary);
}

TEST(BuildProject, WasmReleaseHasConfigAndReleaseSection) {
  ProjectPlan plan = plan_of(spec_with(R"({"kind":"wasm"})"));
  EXPECT_EQ(plan.files.at(0).path, ".cargo/config.toml");
  EXPECT_EQ(plan.files.at(0).bytes_len, 42u);
  EXPECT_TRUE(
      plan.contents.at("Cargo.toml").ends_with("\n\n[profile.release]\nlto = true\ncodegen-units = 1\n"));
  EXPECT_EQ(plan.contents.at("src/lib.rs"), kWasmLibSource);
}

TEST(BuildProject, NoStdHasTripleConfigAndNoBacktestDependency) {
  ProjectPlan plan = plan_of(spec_with(R"({"kind":"no_std","mcu":"thumbv6m-none-eabi"})",
                                       R"(,"embed_data":{"kind":"inline","candles":[]})"));
  EXPECT_EQ(plan.contents.at(".cargo/config.toml"), "[build]\ntarget = \"thumbv6m-none-eabi\"\n");
  EXPECT_EQ(plan.files.at(0).bytes_len, 38u);
  EXPECT_EQ(plan.contents.at("Cargo.toml").find("lantor-backtest"), std::string::npos);
  EXPECT_EQ(plan.backtest_dep, "0.1.5");
  EXPECT_EQ(plan.target.mcu, "thumbv6m-none-eabi");
  EXPECT_EQ(plan.contents.at("src/candles.json"), "[]");
  EXPECT_EQ(plan.contents.at("src/lib.rs"), kNoStdLibSource);
}

TEST(BuildProject, EmbedsTheCanonicalTextOfTheStrategyAsReceived) {
  // Spelling, member order, a repeated member and an unknown member: the
  // unknown one is kept, the text is canonical.
  CompileSpec spec = spec_of(
      R"({"target":{"kind":"binary"},"strategy":{"timeframe":"1h","symbol":"BTC-USDT","indicators":{},)"
      R"("entry":{"in_position":false},"exit":{"in_position":true},"zz_note":"caf\u00e9 \/ 1E2",)"
      R"("sizing":{"qty":1.50,"type":"fixed_qty"},"sizing":{"qty":1E2,"type":"fixed_qty"}}})");
  ProjectPlan plan = plan_of(spec);
  EXPECT_EQ(plan.contents.at("src/spec.json"),
            R"({"entry":{"in_position":false},"exit":{"in_position":true},"indicators":{},)"
            R"("sizing":{"qty":100.0,"type":"fixed_qty"},"symbol":"BTC-USDT","timeframe":"1h",)"
            R"("zz_note":"café / 1E2"})");
  EXPECT_EQ(plan.contents.at("src/spec.json"), spec.strategy.canonical_text());
}

TEST(BuildProject, InlineCandlesAreWrittenCanonically) {
  ProjectPlan plan = plan_of(
      spec_with(R"({"kind":"binary"})",
                R"(,"embed_data":{"kind":"inline","candles":[{"t":1,"c":-0,"o":1e16},[0.1,"\u0001"]]})"));
  EXPECT_EQ(plan.contents.at("src/candles.json"), R"([{"c":-0.0,"o":1e+16,"t":1},[0.1,"\u0001"]])");
}

TEST(BuildProject, ChecksStrategyThenCrateNameThenTarget) {
  constexpr const char* kBadMcu = R"({"kind":"no_std","mcu":"x86"})";
  // All three wrong: the strategy is reported.
  EXPECT_EQ(error_of(spec_of(std::string(R"({"strategy":{"symbol":"1X"},"target":)") + kBadMcu + "}")),
            "bad spec: strategy is not a valid StrategySpec: missing field `timeframe`");
  EXPECT_EQ(error_of(spec_with(kBadMcu, R"(,"crate_name":"Bad")")),
            "bad spec: crate name \"Bad\" is not a valid identifier (^[a-z][a-z0-9_]*$); set `crate_name`");
  EXPECT_EQ(error_of(spec_with(kBadMcu)), "bad target: mcu \"x86\" is not in the allowlist");
  // What a locator of the failure reads beside the text.
  const CompileSpec bad_strategy =
      spec_of(std::string(R"({"strategy":{"symbol":"1X"},"target":)") + kBadMcu + "}");
  Result<std::string, CompileError> strategy_first = check_spec(bad_strategy);
  ASSERT_FALSE(strategy_first.ok());
  EXPECT_EQ(strategy_first.error().kind, CompileError::Kind::BadStrategy);
  EXPECT_EQ(strategy_first.error().cause, ErrorKind::MissingField);
  EXPECT_EQ(strategy_first.error().at, bad_strategy.strategy.root().slot());
  EXPECT_EQ(check_spec(spec_with(kBadMcu, R"(,"crate_name":"Bad")")).error().kind,
            CompileError::Kind::BadCrateName);
  EXPECT_EQ(check_spec(spec_with(kBadMcu)).error().kind, CompileError::Kind::BadTarget);
  // A bad target is found before a dataset is read.
  EXPECT_EQ(error_of(spec_with(kBadMcu, R"(,"embed_data":{"kind":"csv","path":"/nonexistent/x.csv"})")),
            "bad target: mcu \"x86\" is not in the allowlist");
}

TEST(BuildProject, CsvDatasetIsCopiedByteForByte) {
  ScratchDir dir;
  struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty.csv", ""},
      {"crlf.csv", "t,o,h,l,c\r\n1,2,3,1,2\r\n"},
      {"bom.csv", "\xEF\xBB\xBFt,c\n1,2"},  // byte-order mark, no final line feed
      {"utf8.csv", "sym\nÄrger,日本\n"},
  };
  for (const auto& c : cases) {
    ProjectPlan plan = plan_of(spec_of(csv_spec(dir.file(c.name, c.bytes))));
    EXPECT_EQ(plan.contents.at("src/candles.csv"), c.bytes) << c.name;
    // Binary: Cargo.toml, src/candles.csv, src/main.rs, src/spec.json.
    EXPECT_EQ(plan.files.at(1).path, "src/candles.csv");
    EXPECT_EQ(plan.files.at(1).bytes_len, c.bytes.size());
    EXPECT_EQ(plan.files.at(1).sha256, sha256_hex(c.bytes));
  }
  ProjectPlan empty = plan_of(spec_of(csv_spec(dir.str() + "/empty.csv")));
  EXPECT_EQ(empty.files.at(1).sha256, kEmptyDigest);
  EXPECT_EQ(empty.files.at(1).bytes_len, 0u);
}

TEST(BuildProject, CsvDatasetFailuresAreIoErrors) {
  ScratchDir dir;
  std::string bad = dir.file("bad.csv", "ok\n\xC3\x28\n");
  std::string path_with_nul = std::string("a\0b.csv", 7);
  struct {
    std::string path;
    std::string expected;
  } cases[] = {
      {bad, "io: reading " + bad + ": stream did not contain valid UTF-8"},
      {dir.file("surrogate.csv", "\xED\xA0\x80"), ""},
      {"lantor-no-such-dir/x", "io: reading lantor-no-such-dir/x: No such file or directory (os error 2)"},
      {dir.str(), "io: reading " + dir.str() + ": Is a directory (os error 21)"},
      {path_with_nul, "io: reading " + path_with_nul + ": file name contained an unexpected NUL byte"},
  };
  cases[1].expected = "io: reading " + cases[1].path + ": stream did not contain valid UTF-8";
  for (const auto& c : cases) {
    auto plan = build_project(spec_of(csv_spec(c.path)));
    ASSERT_FALSE(plan.ok()) << c.path;
    EXPECT_EQ(plan.error().kind, CompileError::Kind::Io);
    EXPECT_EQ(plan.error().text(), c.expected);
  }
}

TEST(BuildProject, CsvPathEntersTheSpecHashButNotTheFiles) {
  ScratchDir dir;
  ProjectPlan a = plan_of(spec_of(csv_spec(dir.file("a.csv", "t,c\n1,2\n"))));
  ProjectPlan b = plan_of(spec_of(csv_spec(dir.file("b.csv", "t,c\n1,2\n"))));
  EXPECT_NE(a.spec_hash, b.spec_hash);
  EXPECT_EQ(a.contents, b.contents);
  EXPECT_EQ(a.project_hash, b.project_hash);
}

// Which of the plan's outputs differ between two specs.
struct Difference {
  bool spec_hash;
  std::vector<std::string> changed_files;
  bool project_hash;
};

Difference compare(const ProjectPlan& a, const ProjectPlan& b) {
  Difference d{a.spec_hash != b.spec_hash, {}, a.project_hash != b.project_hash};
  EXPECT_EQ(paths(a), paths(b));
  for (std::size_t i = 0; i < a.files.size() && i < b.files.size(); ++i)
    if (a.files[i].sha256 != b.files[i].sha256) d.changed_files.push_back(a.files[i].path);
  return d;
}

TEST(BuildProject, CrateNameEqualToTheDerivedOneChangesOnlyTheSpecHash) {
  Difference d = compare(plan_of(spec_with(R"({"kind":"wasm"})")),
                         plan_of(spec_with(R"({"kind":"wasm"})", R"(,"crate_name":"btc_usdt")")));
  EXPECT_TRUE(d.spec_hash);
  EXPECT_TRUE(d.changed_files.empty());
  EXPECT_FALSE(d.project_hash);
}

TEST(BuildProject, OptLevelChangesOnlyTheManifest) {
  Difference d = compare(plan_of(spec_with(R"({"kind":"binary"})", R"(,"opt_level":"release")")),
                         plan_of(spec_with(R"({"kind":"binary"})", R"(,"opt_level":"size")")));
  EXPECT_TRUE(d.spec_hash);
  EXPECT_EQ(d.changed_files, std::vector<std::string>{"Cargo.toml"});
  EXPECT_TRUE(d.project_hash);
}

TEST(BuildProject, ExplicitDefaultsAndSpellingDoNotChangeAnything) {
  ProjectPlan plain = plan_of(spec_with(R"({"kind":"wasm"})"));
  ProjectPlan spelled = plan_of(
      spec_of(std::string(R"( { "crate_name" : null , "embed_data":null, "opt_level":{"release":null},)") +
              R"("target":{"mcu":"ignored","kind":"wasm"}, "strategy":)" + std::string(kStrategy) + "}"));
  EXPECT_EQ(plain.spec_hash, spelled.spec_hash);
  EXPECT_EQ(plain.contents, spelled.contents);
  EXPECT_EQ(plain.project_hash, spelled.project_hash);
}

TEST(BuildProject, UnknownStrategyMemberIsKeptAndHashed) {
  std::string with_extra(kStrategy);
  with_extra.insert(with_extra.size() - 1, R"(,"note":"kept")");
  ProjectPlan plain = plan_of(spec_with(R"({"kind":"wasm"})"));
  ProjectPlan extra = plan_of(spec_of(R"({"target":{"kind":"wasm"},"strategy":)" + with_extra + "}"));
  EXPECT_NE(extra.contents.at("src/spec.json").find(R"("note":"kept")"), std::string::npos);
  Difference d = compare(plain, extra);
  EXPECT_TRUE(d.spec_hash);
  EXPECT_EQ(d.changed_files, std::vector<std::string>{"src/spec.json"});
}

TEST(BuildProject, StreamedSpecHashMatchesTheHashedFormWrittenAsAValue) {
  const char* targets[] = {R"({"kind":"wasm"})", R"({"kind":"binary"})",
                           R"({"kind":"no_std","mcu":"riscv32imac-unknown-none-elf"})"};
  const char* extras[] = {
      "",
      R"(,"opt_level":"debug","crate_name":"my_bot")",
      R"(,"embed_data":{"kind":"inline","candles":[{"c":1.5,"b":[true,null]},-3,"x\"y"]})",
      R"(,"embed_data":{"kind":"inline","candles":[]},"crate_name":"z","opt_level":"size")",
  };
  for (const char* target : targets) {
    for (const char* extra : extras) {
      CompileSpec spec = spec_with(target, extra);
      EXPECT_EQ(plan_of(spec).spec_hash, reference_spec_hash(spec)) << target << extra;
    }
  }
  // A CSV dataset: the path enters, escaped like any string.
  ScratchDir dir;
  CompileSpec csv = spec_of(csv_spec(dir.file("q\"\\.csv", "a\n")));
  EXPECT_EQ(plan_of(csv).spec_hash, reference_spec_hash(csv));
}

TEST(BuildProject, ArrayFormStrategyIsEmbeddedAsAnArray) {
  CompileSpec spec =
      spec_of(R"({"strategy":[1,"ETH/USD",null,"1h",{},{"in_position":false},{"in_position":true},)"
              R"(null,null,{"type":"fixed_qty","qty":1}],"target":{"kind":"binary"},"crate_name":"eth"})");
  auto plan = build_project(spec);
  ASSERT_TRUE(plan.ok()) << plan.error().text();
  EXPECT_EQ(plan->contents.at("src/spec.json"), spec.strategy.canonical_text());
  EXPECT_EQ(plan->contents.at("src/spec.json").front(), '[');
  spec.crate_name.reset();
  EXPECT_EQ(error_of(spec), "bad spec: no crate_name and the strategy has no string `symbol` to derive one");
}

TEST(CompileError, PrefixThenMessage) {
  EXPECT_EQ((CompileError{CompileError::Kind::BadStrategy, "x"}.text()),
            "bad spec: strategy is not a valid StrategySpec: x");
  EXPECT_EQ((CompileError{CompileError::Kind::BadCrateName, "x"}.text()), "bad spec: x");
  EXPECT_EQ((CompileError{CompileError::Kind::BadSpec, "x"}.text()), "bad spec: x");
  EXPECT_EQ((CompileError{CompileError::Kind::BadTarget, "x"}.text()), "bad target: x");
  EXPECT_EQ((CompileError{CompileError::Kind::Build, ""}.text()), "build: ");
  EXPECT_EQ((CompileError{CompileError::Kind::Io, "x"}.text()), "io: x");
}

TEST(BuildProject, SameSpecGivesTheSamePlan) {
  CompileSpec spec = spec_with(R"({"kind":"no_std","mcu":"thumbv7em-none-eabihf"})",
                               R"(,"embed_data":{"kind":"inline","candles":[[1,2,3]]})");
  ProjectPlan a = plan_of(spec);
  ProjectPlan b = plan_of(spec);
  EXPECT_EQ(a.spec_hash, b.spec_hash);
  EXPECT_EQ(a.contents, b.contents);
  EXPECT_EQ(a.project_hash, b.project_hash);
}

}  // namespace
}  // namespace lantor
