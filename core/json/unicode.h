// UTF-8 decoding and the Unicode properties the quoted form needs.
#pragma once

#include <cstddef>
#include <string_view>

namespace lantor::json {

// Decodes one UTF-8 sequence at the start of `s` (non-empty). Returns its
// length in bytes and sets `cp`, or returns 0 for an invalid sequence
// (overlong forms, surrogates and values above U+10FFFF are invalid).
std::size_t decode_utf8(std::string_view s, char32_t& cp);

// True when `s` is entirely valid UTF-8.
bool is_valid_utf8(std::string_view s);

// True for a code point at or above U+0080 that the quoted form writes as
// \u{hex}: one that is not printable (controls, format characters, private
// use, unassigned, surrogates, line and paragraph separators, spaces other
// than U+0020) or that is a combining mark.
bool needs_unicode_escape(char32_t cp);

}  // namespace lantor::json
