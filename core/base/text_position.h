// Where a byte offset stands in a UTF-8 text, as a line and a column counted
// three ways: the one routine of the core for lines and columns, so that every
// reader of a place uses the same arithmetic. Byte columns serve texts such as
// " at line L column C" (json::positioned), characters people, and UTF-16
// units editors that count that way (a language server).
//
// Lines are separated by line feeds only: a carriage return before a line
// feed is the last character of its line. A character is a code point; in a
// text that is not valid UTF-8 every byte that is not a continuation byte
// (10xxxxxx) starts one. The byte column counts the bytes up to the offset
// itself; the other two name the character that holds the offset (an offset
// inside a character stands for that character's first byte). An offset
// past the end stands for the end.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace lantor {

struct LineColumn {
  std::size_t line = 1;          // 1-based: 1 + the line feeds before the offset
  std::size_t byte_column = 1;   // 1-based: 1 + the bytes between the line's start and the offset
  std::size_t char_column = 1;   // 1-based: 1 + the characters before the one holding the offset
  std::size_t utf16_column = 1;  // 1-based: 1 + their UTF-16 code units (two for U+10000 and above)

  bool operator==(const LineColumn&) const = default;
};

// The first byte of the character that holds `offset` (moved back over at
// most three continuation bytes); `text.size()` for an offset at or past the
// end.
std::size_t character_start(std::string_view text, std::size_t offset);

// The line and columns of `offset` in `text`.
LineColumn line_column(std::string_view text, std::size_t offset);

// The line and columns of each of `offsets`, in the same order, in one pass
// over the text (the offsets are sorted on the side): many places cost the
// text once, not once each.
std::vector<LineColumn> line_columns(std::string_view text, std::span<const std::size_t> offsets);

}  // namespace lantor
