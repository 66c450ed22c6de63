// Where a reader that gave up at a byte offset was looking, as a value of
// the text: a failure names no value, only its offset (and its kind).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/json/reader.h"

namespace lantor::diagnose {

// A place in a text: the JSON Pointer of a value, and the offset and length
// in bytes of the token the place points at.
struct TextPlace {
  std::string pointer;
  std::size_t offset = 0;
  std::size_t length = 0;
};

// The place of a reader's failure in `text` (read with `depth` levels open
// around it): the value it is about when it names one (value_at); else, from
// the offset it was reported at, the value the reader had just read, the
// member it had just named, or the value it stood before; else the byte it
// stopped at, within the innermost value around it. Adds the values it walked
// to `steps`.
TextPlace place_failure(std::string_view text, int depth, const json::ReadError& failure,
                        std::uint64_t& steps);

}  // namespace lantor::diagnose
