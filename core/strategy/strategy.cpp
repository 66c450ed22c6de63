// The strategy document: a record of 14 members whose sections have readers
// of their own (readers.h).
#include "core/strategy/strategy.h"

#include "core/json/parse.h"
#include "core/strategy/readers.h"
#include "core/strategy/record.h"
#include "core/strategy/scalars.h"
#include "core/strategy/tables.h"

namespace lantor::strategy {

namespace {

// The document's members sit at nesting level 2.
constexpr std::size_t kMemberDepth = 2;

Result<Condition> read_rule(json::Node v) { return read_condition(v, kMemberDepth); }

// Null means the strategy has no such rule.
Result<std::optional<Condition>> read_opt_rule(json::Node v) {
  if (v.is_null()) return std::optional<Condition>();
  auto c = read_condition(v, kMemberDepth);
  LANTOR_TRY(c);
  return std::optional<Condition>(std::move(*c));
}

Result<std::optional<std::uint32_t>> read_opt_u32(json::Node v) {
  if (v.is_null()) return std::optional<std::uint32_t>();
  auto n = read_u32(v);
  LANTOR_TRY(n);
  return std::optional<std::uint32_t>(*n);
}

// In declaration order, which is the order of the array form and the order
// in which missing members are reported.
constexpr Field<StrategySpec> kStrategyFields[] = {
    {"spec_version", false, &store<&StrategySpec::spec_version, &read_u32>},
    {"symbol", true, &store<&StrategySpec::symbol, &read_string>},
    {"ref_symbol", false, &store<&StrategySpec::ref_symbol, &read_opt_string>},
    {"timeframe", true, &store<&StrategySpec::timeframe, &read_string>},
    {"indicators", true, &store<&StrategySpec::indicators, &read_indicators>},
    {"entry", true, &store<&StrategySpec::entry, &read_rule>},
    {"exit", true, &store<&StrategySpec::exit, &read_rule>},
    {"short_entry", false, &store<&StrategySpec::short_entry, &read_opt_rule>},
    {"short_exit", false, &store<&StrategySpec::short_exit, &read_opt_rule>},
    {"sizing", true, &store<&StrategySpec::sizing, &read_sizing>},
    {"costs", false, &store<&StrategySpec::costs, &read_costs>},
    {"risk", false, &store<&StrategySpec::risk, &read_risk>},
    {"execution", false, &store<&StrategySpec::execution, &read_execution>},
    {"warmup", false, &store<&StrategySpec::warmup, &read_opt_u32>},
};

}  // namespace

Result<StrategySpec> parse_strategy(json::Node v) {
  return read_record<StrategySpec>(v, kStrategyFields, "struct StrategySpec");
}

tables::Members tables::strategy_members() { return members_of(kStrategyFields); }

Result<StrategySpec> parse_strategy(const json::Value& v) {
  const json::Tape tape = json::tape_from_value(v);
  return parse_strategy(tape.root());
}

}  // namespace lantor::strategy
