// UTF-8: decoding one character, checking a text, and turning arbitrary
// bytes (a child's diagnostics, a path) into UTF-8 text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lantor {

// Decodes one UTF-8 sequence at the start of `s` (non-empty). Returns its
// length in bytes and sets `cp`, or returns 0 for an invalid sequence
// (overlong forms, surrogates and values above U+10FFFF are invalid).
std::size_t decode_utf8(std::string_view s, char32_t& cp);

// True when `s` is entirely valid UTF-8.
bool is_valid_utf8(std::string_view s);

// `bytes` as UTF-8 with each invalid sequence replaced by one U+FFFD. An
// invalid sequence is the longest prefix of a would-be character that is
// still valid so far, or a single byte when even the first byte cannot start
// one, so a truncated character costs one U+FFFD and the byte that broke it
// is decoded afresh.
std::string utf8_lossy(std::string_view bytes);

// The last `max_bytes` bytes of the UTF-8 text `text`. When the cut would fall
// inside a character it moves forward to the next character start, so the
// result is valid UTF-8 and at most `max_bytes` long.
std::string_view utf8_tail(std::string_view text, std::size_t max_bytes);

}  // namespace lantor
