// The strategy document: a record of 14 members whose sections have readers
// of their own (readers.h).
#include "core/strategy/strategy.h"

#include "core/schema/listing.h"
#include "core/schema/record.h"
#include "core/schema/scalars.h"
#include "core/schema/value_reader.h"
#include "core/strategy/readers.h"
#include "core/strategy/tables.h"
#include "core/strategy/variants.h"

namespace lantor::strategy {

namespace {

using schema::field;
using schema::kOptional;
using schema::kRequired;
using schema::nullable;

// The document's members sit at nesting level 2.
constexpr std::size_t kMemberDepth = 2;

Read<Condition> read_rule(json::Node v) { return read_condition(v, kMemberDepth); }

// A rule has no writer: none is a default, and an absent one is null.
constexpr schema::ValueReader<Condition> kRule = {"Condition", &read_rule, nullptr};

// In declaration order, which is the order of the array form and the order
// in which missing members are reported.
constexpr Field<StrategySpec> kStrategyFields[] = {
    field<&StrategySpec::spec_version, schema::value::kU32>("spec_version", kOptional),
    field<&StrategySpec::symbol, schema::value::kString>("symbol", kRequired),
    field<&StrategySpec::ref_symbol, nullable<schema::value::kString>>("ref_symbol", kOptional),
    field<&StrategySpec::timeframe, schema::value::kString>("timeframe", kRequired),
    field<&StrategySpec::indicators, value::kIndicators>("indicators", kRequired),
    field<&StrategySpec::entry, kRule>("entry", kRequired),
    field<&StrategySpec::exit, kRule>("exit", kRequired),
    field<&StrategySpec::short_entry, nullable<kRule>>("short_entry", kOptional),
    field<&StrategySpec::short_exit, nullable<kRule>>("short_exit", kOptional),
    field<&StrategySpec::sizing, value::kSizing>("sizing", kRequired),
    field<&StrategySpec::costs, value::kCosts>("costs", kOptional),
    field<&StrategySpec::risk, value::kRisk>("risk", kOptional),
    field<&StrategySpec::execution, value::kExecution>("execution", kOptional),
    field<&StrategySpec::warmup, nullable<schema::value::kU32>>("warmup", kOptional),
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
