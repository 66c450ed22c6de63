// Validation of a strategy document. The typed model lives in model.h.
#pragma once

#include <optional>

#include "core/base/result.h"
#include "core/json/tape.h"
#include "core/schema/source.h"
#include "core/strategy/model.h"

namespace lantor::strategy {

// Converts `v` into a StrategySpec, or returns the first failure: its message
// (without any prefix and without a position) and the tape slot it arose at.
Result<StrategySpec, schema::Error> parse_strategy(json::Node v);

// Why `v`, an operand that fits none of its forms, fails as an expression:
// the failure at the deepest place the reading reached, which the operand's
// own message leaves out. None for an operand that fits.
std::optional<schema::Error> explain_operand(json::Node v);

}  // namespace lantor::strategy
