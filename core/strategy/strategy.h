// Validation of a strategy document. The typed model lives in model.h.
#pragma once

#include <string>

#include "core/base/result.h"
#include "core/json/tape.h"
#include "core/json/value.h"
#include "core/strategy/model.h"

namespace lantor::strategy {

// Converts `v` into a StrategySpec, or returns the first error's message
// (without any prefix and without a position).
Result<StrategySpec> parse_strategy(json::Node v);
// The same for a value tree.
Result<StrategySpec> parse_strategy(const json::Value& v);

}  // namespace lantor::strategy
