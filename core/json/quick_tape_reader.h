// The quick pass of read_tape.
#pragma once

#include "core/json/reader.h"
#include "core/json/tape.h"

namespace lantor::json {

// One quick pass over the text of a value as it is usually written: ASCII
// strings and names without escapes, numbers of the reader's plain shapes,
// no repeated names. It meets anything else (an error, an escape, non-ASCII
// text, an exponent, a repeat, the nesting limit) by giving up, and the
// exact TapeReader reads the value from the start instead, so it never
// decides an error or a value the exact way would decide otherwise.
//
// On success the tape also holds the value's canonical text and the reader
// stands past the value; otherwise the reader has not moved and the tape
// holds nothing of use.
bool read_tape_quickly(Reader& reader, int depth, Tape& out);

}  // namespace lantor::json
