// The settings sections: sizing, costs with slippage, risk and execution.
#include <string>

#include "strategy_test_support.h"

namespace lantor::strategy::testing {
namespace {

constexpr const char* kSizingList =
    "one of `fixed_fraction`, `fixed_qty`, `fixed_cash`, `vol_target`, `risk_per_trade`";

struct SectionRow {
  const char* member;
  const char* value;
  const char* expected;
};

void check(const SectionRow* begin, const SectionRow* end) {
  for (const SectionRow* row = begin; row != end; ++row)
    EXPECT_EQ(outcome(with_member(row->member, row->value)), row->expected)
        << row->member << ": " << row->value;
}

template <std::size_t N>
void check(const SectionRow (&rows)[N]) {
  check(rows, rows + N);
}

TEST(Sizing, ObjectForm) {
  const std::string unknown = std::string("unknown variant `fixed_size`, expected ") + kSizingList;
  const SectionRow rows[] = {
      {"sizing", R"({"type": "fixed_fraction", "fraction": 0.1})", kValid},
      {"sizing", R"({"fraction": 0.1, "type": "fixed_fraction"})", kValid},
      {"sizing", R"({"type": "fixed_qty", "qty": 2})", kValid},
      {"sizing", R"({"type": "fixed_cash", "cash": 1000})", kValid},
      {"sizing", R"({"type": "vol_target", "target_vol": 0.15, "lookback": 20})", kValid},
      {"sizing", R"({"type": "risk_per_trade", "risk_pct": -0.5})", kValid},
      {"sizing", R"({"type": "fixed_qty", "qty": 2, "fraction": "x"})", kValid},
      {"sizing", R"({"fraction": 0.1})", "missing field `type`"},
      {"sizing", R"({})", "missing field `type`"},
      {"sizing", R"("fixed_fraction")",
       "invalid type: string \"fixed_fraction\", expected internally tagged enum Sizing"},
      {"sizing", R"(1)", "invalid type: integer `1`, expected internally tagged enum Sizing"},
      {"sizing", R"({"type": "fixed_fraction"})", "missing field `fraction`"},
      {"sizing", R"({"type": "fixed_qty"})", "missing field `qty`"},
      {"sizing", R"({"type": "fixed_cash"})", "missing field `cash`"},
      {"sizing", R"({"type": "risk_per_trade"})", "missing field `risk_pct`"},
      {"sizing", R"({"type": "vol_target", "target_vol": 0.2})", "missing field `lookback`"},
      {"sizing", R"({"type": "vol_target", "lookback": 20})", "missing field `target_vol`"},
      {"sizing", R"({"type": "vol_target"})", "missing field `target_vol`"},
      {"sizing", R"({"type": "vol_target", "target_vol": 0.2, "lookback": 20.5})",
       "invalid type: floating point `20.5`, expected u32"},
      {"sizing", R"({"type": "vol_target", "target_vol": 0.2, "lookback": -5})",
       "invalid value: integer `-5`, expected u32"},
      // A bad field is reported before a missing one.
      {"sizing", R"({"lookback": 20.5, "type": "vol_target"})",
       "invalid type: floating point `20.5`, expected u32"},
      {"sizing", R"({"type": "fixed_qty", "qty": null})", "invalid type: null, expected f64"},
      {"sizing", R"({"type": "fixed_qty", "qty": "1"})", "invalid type: string \"1\", expected f64"},
      {"sizing", R"({"type": 3, "qty": 1})", "invalid type: integer `3`, expected variant identifier"},
      {"sizing", R"({"type": null})", "invalid type: null, expected variant identifier"},
      {"sizing", R"({"type": "fixed_size", "qty": 1})", unknown.c_str()},
  };
  check(rows);
}

TEST(Sizing, ArrayForm) {
  const SectionRow rows[] = {
      {"sizing", R"(["fixed_fraction", 0.1])", kValid},
      {"sizing", R"(["fixed_qty", 5])", kValid},
      {"sizing", R"(["fixed_cash", 5])", kValid},
      {"sizing", R"(["vol_target", 0.2, 20])", kValid},
      {"sizing", R"(["risk_per_trade", 1])", kValid},
      {"sizing", R"([])", "missing field `type`"},
      {"sizing", R"([1])", "invalid type: integer `1`, expected variant identifier"},
      {"sizing", R"(["fixed_fraction"])",
       "invalid length 0, expected struct variant Sizing::FixedFraction with 1 element"},
      {"sizing", R"(["fixed_qty"])",
       "invalid length 0, expected struct variant Sizing::FixedQty with 1 element"},
      {"sizing", R"(["fixed_cash"])",
       "invalid length 0, expected struct variant Sizing::FixedCash with 1 element"},
      {"sizing", R"(["vol_target", 0.2])",
       "invalid length 1, expected struct variant Sizing::VolTarget with 2 elements"},
      {"sizing", R"(["vol_target"])",
       "invalid length 0, expected struct variant Sizing::VolTarget with 2 elements"},
      {"sizing", R"(["risk_per_trade"])",
       "invalid length 0, expected struct variant Sizing::RiskPerTrade with 1 element"},
      {"sizing", R"(["fixed_qty", 1, 2])", "invalid length 2, expected 1 element in sequence"},
      {"sizing", R"(["vol_target", 0.2, 20, 1])", "invalid length 3, expected 2 elements in sequence"},
      {"sizing", R"(["fixed_qty", "x"])", "invalid type: string \"x\", expected f64"},
      {"sizing", R"(["vol_target", 0.2, 2e1])", "invalid type: floating point `20.0`, expected u32"},
      // Fields are read before the length is judged.
      {"sizing", R"(["fixed_qty", "x", 2])", "invalid type: string \"x\", expected f64"},
  };
  check(rows);
}

TEST(Costs, RecordAndSlippage) {
  const SectionRow rows[] = {
      {"costs", R"({})", kValid},
      {"costs", R"([])", kValid},
      {"costs", R"({"maker_bps": -1, "taker_bps": 5.5, "funding": true, "notes": 1})", kValid},
      {"costs", R"([1, 2, ["spread"], true])", kValid},
      {"costs", R"([1, 2, ["spread"], true, 5])", "invalid length 5, expected fewer elements in array"},
      {"costs", R"("x")", "invalid type: string \"x\", expected struct Costs"},
      {"costs", R"({"funding": 1})", "invalid type: integer `1`, expected a boolean"},
      {"costs", R"({"funding": null})", "invalid type: null, expected a boolean"},
      {"costs", R"({"maker_bps": "2"})", "invalid type: string \"2\", expected f64"},
      {"costs", R"({"taker_bps": null})", "invalid type: null, expected f64"},
      {"costs", R"({"slippage": {"type": "fixed_bps", "bps": 2}})", kValid},
      {"costs", R"({"slippage": {"type": "spread", "bps": "anything"}})", kValid},
      {"costs", R"({"slippage": {"type": "volume_impact", "coef": 0.1}})", kValid},
      {"costs", R"({"slippage": ["spread"]})", kValid},
      {"costs", R"({"slippage": ["fixed_bps", 3]})", kValid},
      {"costs", R"({"slippage": ["volume_impact", 0.2]})", kValid},
      {"costs", R"({"slippage": {"type": "volume_impact"}})", "missing field `coef`"},
      {"costs", R"({"slippage": {"type": "fixed_bps"}})", "missing field `bps`"},
      {"costs", R"({"slippage": {"bps": 1}})", "missing field `type`"},
      {"costs", R"({"slippage": []})", "missing field `type`"},
      {"costs", R"({"slippage": ["spread", 1]})", "invalid length 1, expected 0 elements in sequence"},
      {"costs", R"({"slippage": ["spread", 1, 2]})", "invalid length 2, expected 0 elements in sequence"},
      {"costs", R"({"slippage": ["fixed_bps"]})",
       "invalid length 0, expected struct variant Slippage::FixedBps with 1 element"},
      {"costs", R"({"slippage": ["volume_impact"]})",
       "invalid length 0, expected struct variant Slippage::VolumeImpact with 1 element"},
      {"costs", R"({"slippage": ["fixed_bps", 1, 2]})", "invalid length 2, expected 1 element in sequence"},
      {"costs", R"({"slippage": "spread"})",
       "invalid type: string \"spread\", expected internally tagged enum Slippage"},
      {"costs", R"({"slippage": null})", "invalid type: null, expected internally tagged enum Slippage"},
      {"costs", R"({"slippage": {"type": "linear"}})",
       "unknown variant `linear`, expected one of `fixed_bps`, `spread`, `volume_impact`"},
      {"costs", R"({"slippage": {"type": ["spread"]}})",
       "invalid type: sequence, expected variant identifier"},
      {"costs", R"({"slippage": {"type": "fixed_bps", "bps": true}})",
       "invalid type: boolean `true`, expected f64"},
  };
  check(rows);
}

TEST(Risk, Record) {
  const SectionRow rows[] = {
      {"risk", R"({})", kValid},
      {"risk", R"([])", kValid},
      {"risk", R"({"stop_loss_pct": null, "max_leverage": 3})", kValid},
      {"risk", R"({"stop_loss_pct": 2, "take_profit_pct": 4.5, "trailing_stop_pct": 1,
                   "max_leverage": 1000, "max_position_pct": 50, "liquidation": true})",
       kValid},
      {"risk", R"([null, null, null, null, null, false])", kValid},
      {"risk", R"([1, 2, 3, 4, 5, true, 7])", "invalid length 7, expected fewer elements in array"},
      {"risk", R"({"liquidation": null})", "invalid type: null, expected a boolean"},
      {"risk", R"({"take_profit_pct": "5"})", "invalid type: string \"5\", expected f64"},
      {"risk", R"({"max_position_pct": {}})", "invalid type: map, expected f64"},
      {"risk", R"(true)", "invalid type: boolean `true`, expected struct Risk"},
  };
  check(rows);
}

TEST(Execution, Record) {
  const SectionRow rows[] = {
      {"execution", R"({})", kValid},
      {"execution", R"([])", kValid},
      {"execution", R"({"order_type": "stop_limit", "fill_timing": {"close": null}})", kValid},
      {"execution", R"({"order_type": "market"})", kValid},
      {"execution", R"({"order_type": "limit"})", kValid},
      {"execution", R"({"order_type": "stop"})", kValid},
      {"execution", R"({"order_type": {"market": null}})", kValid},
      {"execution", R"({"order_type": {"limit": null}})", kValid},
      {"execution", R"({"order_type": {"stop": null}})", kValid},
      {"execution", R"({"order_type": {"stop_limit": null}})", kValid},
      {"execution", R"({"fill_timing": "next_open"})", kValid},
      {"execution", R"({"fill_timing": "close"})", kValid},
      {"execution", R"({"fill_timing": {"next_open": null}})", kValid},
      {"execution", R"(["limit", "close", 0.1, null, 4294967295, true, 0.25])", kValid},
      {"execution", R"(["limit", "close", 0.1, null, 1, true, 0.25, 1])",
       "invalid length 8, expected fewer elements in array"},
      {"execution", R"({"order_type": "Market"})",
       "unknown variant `Market`, expected one of `market`, `limit`, `stop`, `stop_limit`"},
      {"execution", R"({"order_type": {"iceberg": null}})",
       "unknown variant `iceberg`, expected one of `market`, `limit`, `stop`, `stop_limit`"},
      {"execution", R"({"order_type": null})", "invalid type: null, expected string or map"},
      {"execution", R"({"order_type": ["market"]})", "invalid type: sequence, expected string or map"},
      {"execution", R"({"order_type": {}})", "invalid value: map, expected map with a single key"},
      {"execution", R"({"order_type": {"limit": 1}})", "invalid type: integer `1`, expected unit"},
      {"execution", R"({"fill_timing": "open"})", "unknown variant `open`, expected `next_open` or `close`"},
      {"execution", R"({"fill_timing": {"close": false}})", "invalid type: boolean `false`, expected unit"},
      {"execution", R"({"fill_timing": {"close": null, "next_open": null}})",
       "invalid value: map, expected map with a single key"},
      {"execution", R"({"latency_bars": 4294967296})", "invalid value: integer `4294967296`, expected u32"},
      {"execution", R"({"latency_bars": null})", "invalid type: null, expected u32"},
      {"execution", R"({"latency_bars": 1.0})", "invalid type: floating point `1.0`, expected u32"},
      {"execution", R"({"partial_fills": "yes"})", "invalid type: string \"yes\", expected a boolean"},
      {"execution", R"({"limit_offset_pct": null, "stop_offset_pct": false})",
       "invalid type: boolean `false`, expected f64"},
      {"execution", R"(0)", "invalid type: integer `0`, expected struct Execution"},
  };
  check(rows);
}

}  // namespace
}  // namespace lantor::strategy::testing
