// The Unicode property the quoted form needs.
#pragma once

namespace lantor::schema {

// True for a code point at or above U+0080 that the quoted form writes as
// \u{hex}: one that is not printable (controls, format characters, private
// use, unassigned, surrogates, line and paragraph separators, spaces other
// than U+0020) or that is a combining mark.
bool needs_unicode_escape(char32_t cp);

}  // namespace lantor::schema
