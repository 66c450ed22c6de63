// The strategy document: a record of 14 members whose sections have readers
// of their own (readers.h).
#include "core/strategy/strategy.h"

#include "core/schema/listing.h"
#include "core/schema/record.h"
#include "core/schema/scalars.h"
#include "core/strategy/readers.h"
#include "core/strategy/tables.h"
#include "core/strategy/variants.h"

namespace lantor::strategy {

namespace {

using schema::store;

// The document's members sit at nesting level 2.
constexpr std::size_t kMemberDepth = 2;

Read<Condition> read_rule(json::Node v) { return read_condition(v, kMemberDepth); }

// Null means the strategy has no such rule.
Read<std::optional<Condition>> read_opt_rule(json::Node v) {
  if (v.is_null()) return std::optional<Condition>();
  LANTOR_ASSIGN_OR_RETURN(Condition && c, read_condition(v, kMemberDepth));
  return std::optional<Condition>(std::move(c));
}

// In declaration order, which is the order of the array form and the order
// in which missing members are reported.
constexpr Field<StrategySpec> kStrategyFields[] = {
    {"spec_version", false, "u32", &store<&StrategySpec::spec_version, &schema::read_u32>},
    {"symbol", true, "string", &store<&StrategySpec::symbol, &schema::read_string<json::Node>>},
    {"ref_symbol", false, "string?", &store<&StrategySpec::ref_symbol, &schema::read_opt_string<json::Node>>},
    {"timeframe", true, "string", &store<&StrategySpec::timeframe, &schema::read_string<json::Node>>},
    {"indicators", true, "{IndicatorSpec}", &store<&StrategySpec::indicators, &read_indicators>},
    {"entry", true, "Condition", &store<&StrategySpec::entry, &read_rule>},
    {"exit", true, "Condition", &store<&StrategySpec::exit, &read_rule>},
    {"short_entry", false, "Condition?", &store<&StrategySpec::short_entry, &read_opt_rule>},
    {"short_exit", false, "Condition?", &store<&StrategySpec::short_exit, &read_opt_rule>},
    {"sizing", true, "Sizing", &store<&StrategySpec::sizing, &read_sizing>},
    {"costs", false, "Costs", &store<&StrategySpec::costs, &read_costs>},
    {"risk", false, "Risk", &store<&StrategySpec::risk, &read_risk>},
    {"execution", false, "Execution", &store<&StrategySpec::execution, &read_execution>},
    {"warmup", false, "u32?", &store<&StrategySpec::warmup, &schema::read_opt_u32>},
};

}  // namespace

const RecordTable<StrategySpec> kStrategySpec = {"StrategySpec", schema::RecordKind::Struct, kStrategyFields};

Result<StrategySpec, schema::Error> parse_strategy(json::Node v) {
  return schema::read_record_value(v, kStrategySpec);
}

const std::vector<schema::TypeInfo>& types() {
  using schema::enum_info;
  using schema::record_info;
  using schema::Shape;
  static const std::vector<schema::TypeInfo> listed = {
      record_info(kStrategySpec),
      record_info(kIndicatorSpec),
      enum_info("Feed", variants::kFeed),
      enum_info("Operand", variants::kOperand, Shape::Untagged),
      enum_info("Expr", variants::kExpr),
      enum_info("PriceSource", variants::kPriceSource),
      enum_info("Condition", variants::kCondition),
      enum_info("BarsCmp", variants::kBarsCmp),
      schema::choice_info(kSizing),
      record_info(kFixedFraction),
      record_info(kFixedQty),
      record_info(kFixedCash),
      record_info(kVolTarget),
      record_info(kRiskPerTrade),
      record_info(kCosts),
      schema::choice_info(kSlippage),
      record_info(kFixedBps),
      record_info(kVolumeImpact),
      record_info(kRisk),
      record_info(kExecution),
      enum_info("OrderType", variants::kOrderType),
      enum_info("FillTiming", variants::kFillTiming),
  };
  return listed;
}

}  // namespace lantor::strategy
