// The strategy document itself: its members, null handling, the order of
// errors, and the array form.
#include <string>
#include <utility>

#include "strategy_test_support.h"

namespace lantor::strategy::testing {
namespace {

struct MemberRow {
  const char* name;
  const char* value;
  const char* expected;
};

// Each kind a strategy's reading can report, where it arises (too deep: see
// test_depth.cpp).
TEST(Document, ErrorsKnowTheirKind) {
  const std::pair<std::string, ErrorKind> cases[] = {
      {"{}", ErrorKind::MissingField},
      {with_member("symbol", "5"), ErrorKind::InvalidType},
      {with_member("warmup", "-1"), ErrorKind::InvalidValue},
      {with_member("sizing", R"({"type": "nope"})"), ErrorKind::UnknownVariant},
      {with_member("entry", R"({"gt": [1]})"), ErrorKind::InvalidLength},
      {with_member("entry", R"({"gt": [null, 0]})"), ErrorKind::NoOperandForm},
  };
  for (const auto& [text, kind] : cases) {
    auto spec = typed(text);
    ASSERT_FALSE(spec.ok()) << text;
    EXPECT_EQ(spec.error().kind, kind) << text << ": " << spec.error().message;
  }
}

TEST(Document, MemberValues) {
  const MemberRow rows[] = {
      {"spec_version", "2", kValid},
      {"spec_version", "0", kValid},
      {"spec_version", "4294967295", kValid},
      {"spec_version", "1.0", "invalid type: floating point `1.0`, expected u32"},
      {"spec_version", "1e0", "invalid type: floating point `1.0`, expected u32"},
      {"spec_version", "-1", "invalid value: integer `-1`, expected u32"},
      {"spec_version", "4294967296", "invalid value: integer `4294967296`, expected u32"},
      {"spec_version", "null", "invalid type: null, expected u32"},
      {"spec_version", "\"1\"", "invalid type: string \"1\", expected u32"},
      {"warmup", "null", kValid},
      {"warmup", "200", kValid},
      {"warmup", "2e1", "invalid type: floating point `20.0`, expected u32"},
      {"warmup", "-3", "invalid value: integer `-3`, expected u32"},
      {"symbol", "\"\"", kValid},
      {"symbol", "null", "invalid type: null, expected a string"},
      {"symbol", "[\"BTC\"]", "invalid type: sequence, expected a string"},
      {"ref_symbol", "null", kValid},
      {"ref_symbol", "\"ETH-USDT\"", kValid},
      {"ref_symbol", "5", "invalid type: integer `5`, expected a string"},
      {"timeframe", "true", "invalid type: boolean `true`, expected a string"},
      {"timeframe", "null", "invalid type: null, expected a string"},
      {"indicators", "[]", "invalid type: sequence, expected a map"},
      {"indicators", "null", "invalid type: null, expected a map"},
      {"entry", "null", "invalid type: null, expected string or map"},
      {"exit", "\"gt\"", "invalid type: unit variant, expected newtype variant"},
      {"short_entry", "null", kValid},
      {"short_exit", "null", kValid},
      {"short_entry", "{\"lt\": [\"rsi\", 30]}", kValid},
      {"short_exit", "[]", "invalid type: sequence, expected string or map"},
      {"sizing", "null", "invalid type: null, expected internally tagged enum Sizing"},
      {"costs", "null", "invalid type: null, expected struct Costs"},
      {"risk", "null", "invalid type: null, expected struct Risk"},
      {"execution", "null", "invalid type: null, expected struct Execution"},
      {"notes", "\"anything goes\"", kValid},
      {"Symbol", "5", kValid},  // names match exactly, so this one is unknown
  };
  for (const auto& row : rows)
    EXPECT_EQ(outcome(with_member(row.name, row.value)), row.expected) << row.name << ": " << row.value;
}

TEST(Document, WholeDocuments) {
  const Row rows[] = {
      {kMinimal.data(), kValid},
      {R"({"timeframe": "1h", "indicators": {}, "entry": {"all": []}, "exit": {"all": []},
           "sizing": {"type": "fixed_qty", "qty": 1}})",
       "missing field `symbol`"},
      {R"({"indicators": {}, "entry": {"all": []}})", "missing field `symbol`"},
      {R"({"symbol": "S", "indicators": {}})", "missing field `timeframe`"},
      {R"({"symbol": "S", "timeframe": "1h", "indicators": {}, "entry": {"all": []},
           "exit": {"all": []}})",
       "missing field `sizing`"},
      {R"({"symbol": "S", "timeframe": "1h", "indicators": {}, "exit": {"all": []},
           "sizing": ["fixed_qty", 1]})",
       "missing field `entry`"},
      // A bad member is reported before a missing one, wherever it stands.
      {R"({"timeframe": "1h", "warmup": 1.5})", "invalid type: floating point `1.5`, expected u32"},
      {R"({"ref_symbol": 5})", "invalid type: integer `5`, expected a string"},
      // Members are converted in document order, not declaration order.
      {R"({"exit": 1, "entry": 2})", "invalid type: integer `1`, expected string or map"},
      {R"({"sizing": "x", "symbol": 7})",
       "invalid type: string \"x\", expected internally tagged enum Sizing"},
      {"\"x\"", "invalid type: string \"x\", expected struct StrategySpec"},
      {"null", "invalid type: null, expected struct StrategySpec"},
      {"3.5", "invalid type: floating point `3.5`, expected struct StrategySpec"},
      {"false", "invalid type: boolean `false`, expected struct StrategySpec"},
  };
  for (const auto& row : rows) EXPECT_EQ(outcome(row.input), row.expected) << row.input;
}

// The positional form: element i is the member at position i.
TEST(Document, ArrayForm) {
  const std::string rules = R"({"in_position": false}, {"in_position": true})";
  const std::string head = R"(1, "BTC-USDT", null, "1h", {}, )" + rules;
  const std::string sizing = R"({"type": "fixed_qty", "qty": 1})";
  const std::string full14 = "[" + head + ", null, null, " + sizing + ", {}, [], {}, 50]";
  const std::string fifteen = "[" + head + ", null, null, " + sizing + ", {}, [], {}, 50, 0]";
  const std::string no_sizing = "[" + head + "]";
  const std::string no_sizing_nine = "[" + head + ", null, null]";
  const std::string ten = "[" + head + ", null, null, " + sizing + "]";
  const Row rows[] = {
      {"[]", "invalid length 1, expected struct StrategySpec with 14 elements"},
      {"[1]", "invalid length 1, expected struct StrategySpec with 14 elements"},
      {"[1, \"S\"]", "invalid length 3, expected struct StrategySpec with 14 elements"},
      {"[1, \"S\", null, \"1h\"]", "invalid length 4, expected struct StrategySpec with 14 elements"},
      {"[1, \"S\", null, \"1h\", {}]", "invalid length 5, expected struct StrategySpec with 14 elements"},
      {"[1, \"S\", null, \"1h\", {}, {\"all\": []}]",
       "invalid length 6, expected struct StrategySpec with 14 elements"},
      {no_sizing.c_str(), "invalid length 9, expected struct StrategySpec with 14 elements"},
      {no_sizing_nine.c_str(), "invalid length 9, expected struct StrategySpec with 14 elements"},
      {ten.c_str(), kValid},
      {full14.c_str(), kValid},
      {fifteen.c_str(), "invalid length 15, expected fewer elements in array"},
      // Elements are converted before the length is judged.
      {"[1, 2]", "invalid type: integer `2`, expected a string"},
      {"[null]", "invalid type: null, expected u32"},
  };
  for (const auto& row : rows) EXPECT_EQ(outcome(row.input), row.expected) << row.input;
}

TEST(Document, TypedValueWithDefaults) {
  auto spec = typed(kMinimal);
  ASSERT_TRUE(spec.ok()) << spec.error().message;
  EXPECT_EQ(spec->spec_version, 1u);
  EXPECT_EQ(spec->symbol, "BTC-USDT");
  EXPECT_EQ(spec->timeframe, "1h");
  EXPECT_FALSE(spec->ref_symbol.has_value());
  EXPECT_TRUE(spec->indicators.empty());
  EXPECT_FALSE(spec->short_entry.has_value());
  EXPECT_FALSE(spec->short_exit.has_value());
  EXPECT_FALSE(spec->warmup.has_value());
  ASSERT_TRUE(std::holds_alternative<FixedQty>(spec->sizing));
  EXPECT_EQ(std::get<FixedQty>(spec->sizing).qty, 1.0);
  ASSERT_TRUE(std::holds_alternative<InPosition>(spec->entry.value));
  EXPECT_FALSE(std::get<InPosition>(spec->entry.value).value);
  EXPECT_TRUE(std::get<InPosition>(spec->exit.value).value);

  EXPECT_EQ(spec->costs.maker_bps, 0.0);
  EXPECT_EQ(spec->costs.taker_bps, 0.0);
  ASSERT_TRUE(std::holds_alternative<FixedBps>(spec->costs.slippage));
  EXPECT_EQ(std::get<FixedBps>(spec->costs.slippage).bps, 0.0);
  EXPECT_FALSE(spec->costs.funding);
  EXPECT_FALSE(spec->risk.stop_loss_pct || spec->risk.take_profit_pct || spec->risk.trailing_stop_pct ||
               spec->risk.max_leverage || spec->risk.max_position_pct);
  EXPECT_FALSE(spec->risk.liquidation);
  EXPECT_EQ(spec->execution.order_type, OrderType::Market);
  EXPECT_EQ(spec->execution.fill_timing, FillTiming::NextOpen);
  EXPECT_EQ(spec->execution.latency_bars, 0u);
  EXPECT_FALSE(spec->execution.partial_fills);
  EXPECT_FALSE(spec->execution.limit_offset_pct || spec->execution.stop_offset_pct ||
               spec->execution.max_participation);
}

TEST(Document, TypedValueOfEveryMember) {
  auto spec = typed(R"({
    "spec_version": 3, "symbol": "ETH/USD", "ref_symbol": "BTC/USD", "timeframe": "4h",
    "indicators": {"z": {"type": "sma"}, "a": {"type": "ema"}, "M": ["rsi"]},
    "entry": {"gt": ["a", "z"]}, "exit": {"lt": ["a", "z"]},
    "short_entry": {"in_position": false}, "short_exit": {"in_position": true},
    "sizing": ["vol_target", 0.15, 20],
    "costs": [1, 2.5, {"type": "volume_impact", "coef": 0.3}, true],
    "risk": {"stop_loss_pct": 2, "max_leverage": 3.5, "liquidation": true},
    "execution": {"order_type": {"limit": null}, "fill_timing": "close",
                  "limit_offset_pct": 0.1, "latency_bars": 2, "partial_fills": true},
    "warmup": 0})");
  ASSERT_TRUE(spec.ok()) << spec.error().message;
  EXPECT_EQ(spec->spec_version, 3u);
  EXPECT_EQ(spec->ref_symbol, "BTC/USD");
  // Indicators iterate in byte order of their names.
  std::string order;
  for (const auto& [name, ind] : spec->indicators) order += name;
  EXPECT_EQ(order, "Maz");
  ASSERT_NE(spec->indicators.find("M"), nullptr);
  EXPECT_EQ(spec->indicators.find("M")->type, "rsi");
  ASSERT_TRUE(spec->short_entry.has_value());
  ASSERT_TRUE(spec->short_exit.has_value());
  ASSERT_TRUE(std::holds_alternative<VolTarget>(spec->sizing));
  EXPECT_EQ(std::get<VolTarget>(spec->sizing).target_vol, 0.15);
  EXPECT_EQ(std::get<VolTarget>(spec->sizing).lookback, 20u);
  EXPECT_EQ(spec->costs.maker_bps, 1.0);
  EXPECT_EQ(spec->costs.taker_bps, 2.5);
  ASSERT_TRUE(std::holds_alternative<VolumeImpact>(spec->costs.slippage));
  EXPECT_EQ(std::get<VolumeImpact>(spec->costs.slippage).coef, 0.3);
  EXPECT_TRUE(spec->costs.funding);
  EXPECT_EQ(spec->risk.stop_loss_pct, 2.0);
  EXPECT_FALSE(spec->risk.take_profit_pct.has_value());
  EXPECT_EQ(spec->risk.max_leverage, 3.5);
  EXPECT_TRUE(spec->risk.liquidation);
  EXPECT_EQ(spec->execution.order_type, OrderType::Limit);
  EXPECT_EQ(spec->execution.fill_timing, FillTiming::Close);
  EXPECT_EQ(spec->execution.limit_offset_pct, 0.1);
  EXPECT_EQ(spec->execution.latency_bars, 2u);
  EXPECT_TRUE(spec->execution.partial_fills);
  EXPECT_EQ(spec->warmup, 0u);
}

}  // namespace
}  // namespace lantor::strategy::testing
