// Numbers: one scan of a literal's spelling, which decides its syntax, its
// value and its canonical text.
//
// A literal is an unsigned 64-bit integer when it has neither fraction nor
// exponent nor sign and fits; a negative signed 64-bit integer when it has a
// sign and fits ("-0" excepted); a binary64, correctly rounded, otherwise.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/json/kind.h"
#include "core/json/word_scan.h"

namespace lantor::json {

// A number's value in the kind its literal gives it.
struct Number {
  Kind kind = Kind::UInt;  // UInt, NegInt or Float
  union {
    std::uint64_t u = 0;
    std::int64_t i;
    double d;
  };
};

// The parts of a literal as it is written: [-] int [. frac] [e|E [+|-] exp].
struct NumberSpelling {
  const char* begin;      // the sign, or the first digit
  const char* int_begin;  // the first digit
  const char* int_end;
  const char* frac_begin;  // past the point; == frac_end == int_end without one
  const char* frac_end;
  const char* end;  // past the exponent's digits, when there is one
  // The exponent's value, held at +-1000000000 when it is larger than that.
  std::int64_t exponent;
  bool negative;
  bool has_exponent;

  bool has_fraction() const { return frac_end != frac_begin; }
  bool integral() const { return !has_fraction() && !has_exponent; }
  std::size_t digit_count() const {
    return static_cast<std::size_t>((int_end - int_begin) + (frac_end - frac_begin));
  }
};

// How a scan ended: the literal is well formed, or which syntax text the
// reader reports, placed at `at`.
enum class NumberSyntax : std::uint8_t { Ok, EofValue, InvalidNumber };

struct NumberScan {
  NumberSyntax syntax;
  const char* at;  // past the literal, or where the error is placed
};

// The end of the run of digits at `p`, eight bytes at a time while it lasts.
inline const char* digits_end(const char* p, const char* end) {
  return word_scan::run_end<word_scan::non_digits>(p, end,
                                                   [](unsigned char c) { return c < '0' || c > '9'; });
}

// Scans the literal at `p` (a '-' or a digit) up to `end`.
inline NumberScan scan_number_text(const char* p, const char* end, NumberSpelling& n) {
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  n.begin = p;
  n.negative = *p == '-';
  if (n.negative) ++p;
  if (p == end) return {NumberSyntax::EofValue, p};
  n.int_begin = p;
  if (*p == '0') {
    ++p;
    // Only one leading zero.
    if (p < end && is_digit(*p)) return {NumberSyntax::InvalidNumber, p + 1};
  } else if (is_digit(*p)) {
    p = digits_end(p + 1, end);
  } else {
    return {NumberSyntax::InvalidNumber, p + 1};
  }
  n.int_end = p;
  n.frac_begin = p;
  if (p < end && *p == '.') {
    ++p;
    if (p == end) return {NumberSyntax::EofValue, p};
    if (!is_digit(*p)) return {NumberSyntax::InvalidNumber, p + 1};
    n.frac_begin = p;
    p = digits_end(p + 1, end);
  }
  n.frac_end = p;
  n.exponent = 0;
  n.has_exponent = p < end && (*p == 'e' || *p == 'E');
  if (n.has_exponent) {
    ++p;
    bool negative_exponent = false;
    if (p < end && (*p == '+' || *p == '-')) negative_exponent = *p++ == '-';
    if (p == end) return {NumberSyntax::EofValue, p};
    if (!is_digit(*p)) return {NumberSyntax::InvalidNumber, p + 1};
    std::int64_t e = 0;
    while (p < end && is_digit(*p)) {
      if (e < 1'000'000'000) e = e * 10 + (*p - '0');
      ++p;
    }
    n.exponent = negative_exponent ? -e : e;
  }
  n.end = p;
  return {NumberSyntax::Ok, p};
}

// The value of a well-formed literal. False when its magnitude is beyond the
// binary64 range; a magnitude too small for it reads as zero of its sign.
bool any_number_value(const NumberSpelling& n, Number& out);
// The same, with the usual small unsigned integers taken here.
inline bool number_value(const NumberSpelling& n, Number& out) {
  if (!n.negative && n.integral() && n.int_end - n.int_begin <= 19) {
    std::uint64_t m = 0;
    for (const char* p = n.int_begin; p < n.int_end; ++p) m = m * 10 + static_cast<std::uint64_t>(*p - '0');
    out.kind = Kind::UInt;
    out.u = m;
    return true;
  }
  return any_number_value(n, out);
}

// Whether the literal, as written, is already the canonical text of its
// value: an integer within the 64-bit ranges ("-0" is the float -0.0), or a
// decimal without exponent whose digits are its shortest round-trip digits
// and whose layout is the canonical one.
inline bool canonical_as_spelled(const NumberSpelling& n) {
  if (n.has_exponent) return false;
  const auto int_len = static_cast<std::size_t>(n.int_end - n.int_begin);
  if (!n.has_fraction()) return int_len <= (n.negative ? 18u : 19u) && !(n.negative && *n.int_begin == '0');
  const auto frac_len = static_cast<std::size_t>(n.frac_end - n.frac_begin);
  if (n.frac_end[-1] != '0') {
    // Every decimal of at most 15 significant digits survives the trip
    // through binary64 and back, so no other one reads as the same value,
    // and its own digits are the shortest round-trip digits; the layout is
    // positional down to four zeros after the point.
    if (*n.int_begin != '0') return int_len + frac_len <= 15;
    std::size_t zeros = 0;
    while (zeros < frac_len && n.frac_begin[zeros] == '0') ++zeros;
    return zeros <= 4 && frac_len - zeros <= 15;
  }
  // A whole number written with ".0".
  return frac_len == 1 && int_len <= 15;
}

// The end of the literal at `p` (a '-' or a digit, before `end`) when
// scan_number_text would take it without error and canonical_as_spelled
// would hold for it; null otherwise. The same decision in one pass, for the
// dataset streamer, which meets such literals millions of times.
inline const char* canonical_literal_end(const char* p, const char* end) {
  const bool negative = *p == '-';
  const char* const int_begin = p + (negative ? 1 : 0);
  const char* const int_end = digits_end(int_begin, end);
  const auto int_len = static_cast<std::size_t>(int_end - int_begin);
  // No digit, or a leading zero before more of them: not well formed.
  if (int_len == 0 || (int_len > 1 && *int_begin == '0')) return nullptr;
  const int next = int_end < end ? *int_end : 0;
  if (next == '.') {
    const char* const frac_begin = int_end + 1;
    const char* const frac_end = digits_end(frac_begin, end);
    const auto frac_len = static_cast<std::size_t>(frac_end - frac_begin);
    if (frac_len == 0 || (frac_end < end && (*frac_end | 0x20) == 'e')) return nullptr;
    if (frac_end[-1] == '0') return frac_len == 1 && int_len <= 15 ? frac_end : nullptr;
    if (*int_begin != '0') return int_len + frac_len <= 15 ? frac_end : nullptr;
    std::size_t zeros = 0;
    while (frac_begin[zeros] == '0') ++zeros;
    return zeros <= 4 && frac_len - zeros <= 15 ? frac_end : nullptr;
  }
  if ((next | 0x20) == 'e') return nullptr;
  if (int_len > (negative ? 18u : 19u) || (negative && *int_begin == '0')) return nullptr;
  return int_end;
}

// The end of the literal at `p` (before `end`) when it is a plain unsigned
// integer of at most 19 digits, which scan_number_text takes whole, which
// fits in 64 bits and which is its own canonical text; `value` is then set.
// Null otherwise, with nothing decided: the general steps read it.
inline const char* plain_uint_end(const char* p, const char* end, std::uint64_t& value) {
  if (*p < '0' || *p > '9') return nullptr;
  const char* const q = *p == '0' ? p + 1 : digits_end(p + 1, end);
  if (q - p > 19) return nullptr;
  if (q < end) {
    // A fraction or exponent follows, or a leading zero before more digits.
    const char c = *q;
    if (c == '.' || (c | 0x20) == 'e' || (c >= '0' && c <= '9')) return nullptr;
  }
  std::uint64_t m = 0;
  for (const char* d = p; d < q; ++d) m = m * 10 + static_cast<std::uint64_t>(*d - '0');
  value = m;
  return q;
}

// Appends the canonical text of the number: the literal itself when it is
// canonical as spelled, its digits laid out again for other decimals of at
// most 15 significant digits, else the text of `value`.
void append_canonical_number(std::string& out, const NumberSpelling& n, const Number& value);

}  // namespace lantor::json
