// Strings: decoding escapes with their surrogate rules, and checking that
// raw bytes are UTF-8 so that every string the reader hands out can be
// written back as JSON unchanged. A byte sequence that is not UTF-8 fails
// with "invalid unicode code point", placed just past its first byte.
#include <bit>
#include <cstdint>
#include <cstring>

#include "core/base/utf8.h"
#include "core/json/reader.h"
#include "core/json/word_scan.h"

namespace lantor::json {
namespace {

// Bytes that end an unescaped run: the quote, the backslash, controls, and
// non-ASCII bytes (which are checked as UTF-8).
struct RunTable {
  bool stop[256] = {};
  constexpr RunTable() {
    for (int c = 0; c < 0x20; ++c) stop[c] = true;
    for (int c = 0x80; c < 0x100; ++c) stop[c] = true;
    stop[static_cast<unsigned char>('"')] = true;
    stop[static_cast<unsigned char>('\\')] = true;
  }
};
constexpr RunTable kRun;

using word_scan::kInOrder;
using word_scan::load;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool is_high_surrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

ReadResult<std::uint16_t> Reader::read_hex4() {
  if (text_.size() - pos_ < 4) {
    pos_ = text_.size();
    return fail(syntax_error(msg::kEofString));
  }
  int value = 0;
  bool ok = true;
  for (int i = 0; i < 4; ++i) {
    int d = hex_digit(text_[pos_ + i]);
    ok = ok && d >= 0;
    value = value * 16 + (d < 0 ? 0 : d);
  }
  pos_ += 4;
  if (!ok) return fail(syntax_error(msg::kInvalidEscape));
  return static_cast<std::uint16_t>(value);
}

// The position is just past the backslash.
ReadStatus Reader::read_escape(std::string& out) {
  if (pos_ >= text_.size()) return fail(syntax_error(msg::kEofString));
  char c = text_[pos_++];
  switch (c) {
    case '"': out += '"'; return Ok{};
    case '\\': out += '\\'; return Ok{};
    case '/': out += '/'; return Ok{};
    case 'b': out += '\b'; return Ok{};
    case 'f': out += '\f'; return Ok{};
    case 'n': out += '\n'; return Ok{};
    case 'r': out += '\r'; return Ok{};
    case 't': out += '\t'; return Ok{};
    case 'u': break;
    default: return fail(syntax_error(msg::kInvalidEscape));
  }
  ReadResult<std::uint16_t> first = read_hex4();
  LANTOR_TRY(first);
  std::uint32_t high = *first;
  if (is_low_surrogate(high)) return fail(error(ErrorKind::BadUnicode, msg::kLoneSurrogate));
  if (!is_high_surrogate(high)) {
    append_utf8(out, high);
    return Ok{};
  }
  // A high surrogate must be followed at once by a \u escape of a low one.
  for (char want : {'\\', 'u'}) {
    if (pos_ >= text_.size()) return fail(syntax_error(msg::kEofString));
    if (text_[pos_++] != want) return fail(error(ErrorKind::BadUnicode, msg::kEndOfHexEscape));
  }
  ReadResult<std::uint16_t> second = read_hex4();
  LANTOR_TRY(second);
  std::uint32_t low = *second;
  if (!is_low_surrogate(low)) return fail(error(ErrorKind::BadUnicode, msg::kLoneSurrogate));
  append_utf8(out, 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
  return Ok{};
}

ReadStatus Reader::scan_run() {
  const char* base = text_.data();
  const std::size_t n = text_.size();
  while (pos_ < n) {
    if (kInOrder && n - pos_ >= 8) {
      std::uint64_t stops = word_scan::read_stops(load(base + pos_));
      if (stops == 0) {
        pos_ += 8;
        continue;
      }
      pos_ += static_cast<std::size_t>(std::countr_zero(stops)) / 8;
    }
    unsigned char c = static_cast<unsigned char>(base[pos_]);
    if (!kRun.stop[c]) {
      ++pos_;
      continue;
    }
    if (c < 0x80) break;
    // Valid UTF-8 stays part of the run.
    char32_t cp;
    std::size_t len = decode_utf8(text_.substr(pos_), cp);
    if (len == 0) {
      ++pos_;
      return fail(error(ErrorKind::BadUnicode, msg::kInvalidCodePoint));
    }
    pos_ += len;
  }
  return Ok{};
}

ReadStatus Reader::read_string(std::string& out) {
  out.clear();
  const char* base = text_.data();
  const std::size_t n = text_.size();
  ++pos_;  // the opening quote
  for (;;) {
    std::size_t start = pos_;
    LANTOR_TRY(scan_run());
    out.append(base + start, pos_ - start);
    if (pos_ >= n) return fail(syntax_error(msg::kEofString));
    char c = base[pos_++];
    if (c == '"') return Ok{};
    if (c == '\\') {
      LANTOR_TRY(read_escape(out));
      continue;
    }
    return fail(syntax_error(msg::kControlChar));
  }
}

ReadResult<std::string_view> Reader::read_string_view_slowly(std::string& scratch) {
  // Non-ASCII text stays a view once it is checked as UTF-8.
  const std::size_t quote = pos_;
  ++pos_;
  LANTOR_TRY(scan_run());
  if (pos_ < text_.size() && text_[pos_] == '"') {
    ++pos_;
    return text_.substr(quote + 1, pos_ - quote - 2);
  }
  // An escape, or an error: read_string does both, from the quote again.
  pos_ = quote;
  LANTOR_TRY(read_string(scratch));
  return std::string_view(scratch);
}

ReadStatus Reader::skip_string() {
  const char* base = text_.data();
  const std::size_t n = text_.size();
  ++pos_;
  for (;;) {
    // Only the quote, the backslash and controls matter when skipping.
    while (pos_ < n) {
      if (kInOrder && n - pos_ >= 8) {
        std::uint64_t stops = word_scan::escape_stops(load(base + pos_));
        if (stops == 0) {
          pos_ += 8;
          continue;
        }
        pos_ += static_cast<std::size_t>(std::countr_zero(stops)) / 8;
        break;
      }
      unsigned char c = static_cast<unsigned char>(base[pos_]);
      if (c == '"' || c == '\\' || c < 0x20) break;
      ++pos_;
    }
    if (pos_ >= n) return fail(syntax_error(msg::kEofString));
    char c = base[pos_++];
    if (c == '"') return Ok{};
    if (c != '\\') return fail(syntax_error(msg::kControlChar));
    if (pos_ >= n) return fail(syntax_error(msg::kEofString));
    char e = base[pos_++];
    if (e == 'u') {
      LANTOR_TRY(read_hex4());
    } else if (std::strchr("\"\\/bfnrt", e) == nullptr || e == '\0') {
      return fail(syntax_error(msg::kInvalidEscape));
    }
  }
}

}  // namespace lantor::json
