// The section readers of a strategy document, each from a node of the
// document's tape to its typed form or the first error's message.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/json/tape.h"
#include "core/strategy/model.h"

namespace lantor::strategy {

// Conditions and expressions recurse once per nesting level of the value.
// The JSON reader never produces more than 127 levels, so a value it read
// never comes near this bound; the bound only keeps a value built in code
// from exhausting the stack. `depth` is the nesting level of the value being
// read, counting the strategy document as level 1.
inline constexpr std::size_t kMaxDepth = 256;
inline constexpr std::string_view kRecursionLimit = "recursion limit exceeded";

// The message of every operand that fits none of its forms.
inline constexpr std::string_view kOperandMismatch =
    "data did not match any variant of untagged enum Operand";

Result<IndicatorMap> read_indicators(json::Node v);

Result<Operand> read_operand(json::Node v, std::size_t depth);
Result<Condition> read_condition(json::Node v, std::size_t depth);

Result<Sizing> read_sizing(json::Node v);
Result<Slippage> read_slippage(json::Node v);
Result<Costs> read_costs(json::Node v);
Result<Risk> read_risk(json::Node v);
Result<Execution> read_execution(json::Node v);

}  // namespace lantor::strategy
