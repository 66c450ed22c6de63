// The section readers of a strategy document, each from a node of the
// document's tape to its typed form or the first failure.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/base/result.h"
#include "core/json/reader.h"
#include "core/json/tape.h"
#include "core/json/writer.h"
#include "core/schema/source.h"
#include "core/schema/value_reader.h"
#include "core/strategy/model.h"

namespace lantor::strategy {

// A section read from the tape, or the first failure.
template <class T>
using Read = Result<T, schema::Error>;

// Conditions and expressions recurse once per nesting level of the value.
// `depth` is the nesting level of the value being read, counting the strategy
// document as level 1. The JSON reader never makes a tape whose containers
// nest deeper than json::kMaxDepth levels from its root, so no value it read
// is too deep; the check only keeps a tape made otherwise from exhausting the
// stack, and refuses it as the reader refuses such a text.
inline bool too_deep(json::Node v, std::size_t depth) {
  return depth > static_cast<std::size_t>(json::kMaxDepth) && (v.is_array() || v.is_object());
}
inline schema::Error too_deep_error(json::Node v) {
  return schema::error_at(v, {ErrorKind::TooDeep, std::string(json::msg::kRecursionLimit)});
}

// The message of every operand that fits none of its forms.
inline constexpr std::string_view kOperandMismatch =
    "data did not match any variant of untagged enum Operand";

Read<IndicatorMap> read_indicators(json::Node v);

// Operands and conditions are read into the node given, which keeps what
// was read up to a failure: a caller that goes on past one resets it.
Status<schema::Error> read_operand(json::Node v, std::size_t depth, Operand& out);
Status<schema::Error> read_condition(json::Node v, std::size_t depth, Condition& out);

Read<Sizing> read_sizing(json::Node v);
Read<Slippage> read_slippage(json::Node v);
Read<Costs> read_costs(json::Node v);
Read<Risk> read_risk(json::Node v);
Read<Execution> read_execution(json::Node v);

// Writers of the sections that members may leave to their defaults.
bool write_slippage(const Slippage& s, json::Writer& out);
bool write_costs(const Costs& c, json::Writer& out);
bool write_risk(const Risk& r, json::Writer& out);
bool write_execution(const Execution& e, json::Writer& out);

// The sections as value readers (schema/value_reader.h), for the rows of the
// tables that hold them; a record's reader names the record as its table
// does. No writer is kept for what is always required.
namespace value {
inline constexpr schema::ValueReader<IndicatorMap> kIndicators = {"{IndicatorSpec}", &read_indicators,
                                                                  nullptr};
inline constexpr schema::ValueReader<Sizing> kSizing = {"Sizing", &read_sizing, nullptr};
inline constexpr schema::ValueReader<Slippage> kSlippage = {"Slippage", &read_slippage, &write_slippage};
inline constexpr schema::ValueReader<Costs> kCosts = {"Costs", &read_costs, &write_costs};
inline constexpr schema::ValueReader<Risk> kRisk = {"Risk", &read_risk, &write_risk};
inline constexpr schema::ValueReader<Execution> kExecution = {"Execution", &read_execution, &write_execution};
}  // namespace value

}  // namespace lantor::strategy
