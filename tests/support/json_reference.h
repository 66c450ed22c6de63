// The tests' reference for reading and writing JSON: a plain recursive
// reader over the core's tokenizer that builds the tree of json_value.h (a
// repeated member name keeps its first place and takes its last value), the
// canonical text of such a tree by a plain recursive writer, and the bridges
// between trees and the core's tapes. The differential tests and the fuzzer
// hold the core's single reading path to what these say.
#pragma once

#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/json/reader.h"
#include "core/json/tape.h"
#include "tests/support/json_value.h"

namespace lantor::json {

// The value at the reader's position, with `depth` levels open around it.
ReadResult<Value> read_value(Reader& reader, int depth);

// Reads `text` (whitespace allowed around one value) into a Value, with the
// reader's number kinds, repeated-name rule and 127-level nesting limit. The
// error is the reader's message followed by " at line L column C".
Result<Value> parse_json(std::string_view text);

// The canonical text of `v`.
std::string canonical_json(const Value& v);
void append_canonical(std::string& out, const Value& v);

// "null", "boolean `true`", ..., as the schema readers describe a value.
std::string describe(const Value& v);

// A tape holding `v` (at any depth), read from its text; and the value a
// tape holds.
Tape tape_from_value(const Value& v);
Value value_from_tape(const Tape& tape);
// Structural equality, as for Values.
bool operator==(const Tape& a, const Value& b);

}  // namespace lantor::json
