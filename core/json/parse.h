// Reading JSON text into a Value tree.
#pragma once

#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/json/reader.h"
#include "core/json/tape.h"
#include "core/json/value.h"

namespace lantor::json {

// The value at the reader's position, with `depth` levels open around it.
// A repeated member name keeps its first place and takes the last value.
ReadResult<Value> read_value(Reader& reader, int depth);

// Reads `text` (whitespace allowed around one value) into a Value, with the
// reader's number kinds, repeated-name rule and 127-level nesting limit. The
// error is the reader's message followed by " at line L column C".
Result<Value> parse_json(std::string_view text);

// A tape holding `v`, and the value a tape holds.
Tape tape_from_value(const Value& v);
Value value_from_tape(const Tape& tape);
// Structural equality, as for Values.
bool operator==(const Tape& a, const Value& b);

}  // namespace lantor::json
