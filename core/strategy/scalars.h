// Readers for the plain members of a strategy document: counts (u32),
// floats (f64), booleans and strings. Each returns the value or the message
// for the value found.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/base/result.h"
#include "core/json/tape.h"

namespace lantor::strategy {

// A JSON integer from 0 to 4294967295. An integer out of that range is an
// invalid value; anything else, a whole number written with a fraction or an
// exponent included, is an invalid type.
Result<std::uint32_t> read_u32(json::Node v);

// Any JSON number, integers converted to the nearest binary64.
Result<double> read_f64(json::Node v);

// Null means not set; anything else is read as a float.
Result<std::optional<double>> read_opt_f64(json::Node v);

Result<bool> read_bool(json::Node v);

Result<std::string> read_string(json::Node v);

// Null means none; anything else is read as a string.
Result<std::optional<std::string>> read_opt_string(json::Node v);

}  // namespace lantor::strategy
