// Reading a whole JSON text into a Value.
#pragma once

#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/json/value.h"

namespace lantor::json {

// Reads `text` (whitespace allowed around one value) into a Value, with the
// reader's number kinds, repeated-name rule and 127-level nesting limit. The
// error is the reader's message followed by " at line L column C".
Result<Value> parse_json(std::string_view text);

}  // namespace lantor::json
