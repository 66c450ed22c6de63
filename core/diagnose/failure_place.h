// Where a reader that gave up at a byte offset was looking, as a value of
// the text: a failure's message names no place, only its offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lantor::diagnose {

// A place in a text: the JSON Pointer of a value, and the offset and length
// in bytes of the token the place points at.
struct TextPlace {
  std::string pointer;
  std::size_t offset = 0;
  std::size_t length = 0;
};

// The place of a failure with `message` that a reader reported at byte `at`
// of `text` (read with `depth` levels open around it): the value it had just
// read, the member it had just named, or the value it stood before; else the
// byte it stopped at, within the innermost value around it. Adds the values
// it walked to `steps`.
TextPlace place_failure(std::string_view text, int depth, std::size_t at, std::string_view message,
                        std::uint64_t& steps);

}  // namespace lantor::diagnose
