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

// A rule is read in place, as a condition tree is large to move. One that
// fails is left at its default, as if absent, for a reading that goes on
// past the failure.
template <auto Rule>
Status<schema::Error> read_rule(json::Node v, StrategySpec& out) {
  Status<schema::Error> read = read_condition(v, kMemberDepth, out.*Rule);
  if (!read.ok()) [[unlikely]]
    out.*Rule = Condition{};
  return read;
}

// null (absent) or a rule.
template <auto Rule>
Status<schema::Error> read_optional_rule(json::Node v, StrategySpec& out) {
  std::optional<Condition>& rule = out.*Rule;
  if (v.is_null()) {
    rule.reset();
    return Ok{};
  }
  Status<schema::Error> read = read_condition(v, kMemberDepth, rule.emplace());
  if (!read.ok()) [[unlikely]]
    rule.reset();
  return read;
}

// A rule has no writer, as none is a default; an absent one is null.
template <auto Rule>
bool write_optional_rule(const StrategySpec& s, json::Writer& out) {
  if (s.*Rule) return false;
  schema::write_null(out);
  return true;
}

constexpr schema::InPlaceReader<StrategySpec, json::Node> kEntry = {"Condition",
                                                                    &read_rule<&StrategySpec::entry>};
constexpr schema::InPlaceReader<StrategySpec, json::Node> kExit = {"Condition",
                                                                   &read_rule<&StrategySpec::exit>};
constexpr schema::InPlaceReader<StrategySpec, json::Node> kShortEntry = {
    "Condition?", &read_optional_rule<&StrategySpec::short_entry>,
    &write_optional_rule<&StrategySpec::short_entry>};
constexpr schema::InPlaceReader<StrategySpec, json::Node> kShortExit = {
    "Condition?", &read_optional_rule<&StrategySpec::short_exit>,
    &write_optional_rule<&StrategySpec::short_exit>};

// In declaration order, which is the order of the array form and the order
// in which missing members are reported.
constexpr Field<StrategySpec> kStrategyFields[] = {
    field<&StrategySpec::spec_version, schema::value::kU32>("spec_version", kOptional),
    field<&StrategySpec::symbol, schema::value::kString>("symbol", kRequired),
    field<&StrategySpec::ref_symbol, nullable<schema::value::kString>>("ref_symbol", kOptional),
    field<&StrategySpec::timeframe, schema::value::kString>("timeframe", kRequired),
    field<&StrategySpec::indicators, value::kIndicators>("indicators", kRequired),
    field<kEntry>("entry", kRequired),
    field<kExit>("exit", kRequired),
    field<kShortEntry>("short_entry", kOptional),
    field<kShortExit>("short_exit", kOptional),
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
