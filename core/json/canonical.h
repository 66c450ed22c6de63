// The pieces of the canonical JSON text: no whitespace, object members
// sorted by the bytes of their names at every depth, numbers in a fixed
// spelling, strings with a minimal fixed escaping, so that equal values give
// equal texts whatever their original spelling. The tape reader writes a
// value's text with them as it reads it, the dataset streamer too.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace lantor::json {

// The order of member names in canonical text: their bytes as unsigned
// values, a prefix first.
inline bool name_before(std::string_view a, std::string_view b) {
  // Names mostly differ in their first byte: decide that without a call.
  if (!a.empty() && !b.empty() && a[0] != b[0])
    return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
  // char_traits<char> orders bytes as unsigned values.
  return a < b;
}

// Puts `n` entries in name order, the name of each being `name_of(entry)`,
// entries of equal names in the order of `position_of(entry)`, their place
// among the members. Objects are mostly small, where an insertion sort is a
// few instructions long; a large one goes to std::sort out of line, which
// the positions keep to the same order without a buffer.
template <class E, class NameOf, class PositionOf>
[[gnu::noinline]] void sort_many_by_name(E* first, std::size_t n, NameOf name_of, PositionOf position_of) {
  std::sort(first, first + n, [&](const E& a, const E& b) {
    // char_traits<char> compares bytes as unsigned values.
    const int order = name_of(a).compare(name_of(b));
    return order != 0 ? order < 0 : position_of(a) < position_of(b);
  });
}

template <class E, class NameOf, class PositionOf>
inline void sort_by_name(E* first, std::size_t n, NameOf name_of, PositionOf position_of) {
  if (n > 16) {
    sort_many_by_name(first, n, name_of, position_of);
    return;
  }
  // Entries come in their positions' order, which insertion keeps for equal
  // names.
  for (std::size_t i = 1; i < n; ++i) {
    E moving = first[i];
    std::size_t j = i;
    for (; j > 0 && name_before(name_of(moving), name_of(first[j - 1])); --j) first[j] = first[j - 1];
    first[j] = moving;
  }
}

// The first eight bytes of a name as one number whose order is theirs: the
// bytes first to last from the most significant, zeros past the name's end.
// Names whose keys differ are in the order of their keys (a zero past the end
// is below any byte that stands there in a longer name); names with equal
// keys are ordered by the bytes themselves.
inline std::uint64_t name_key(std::string_view s) {
  const char* const p = s.data();
  const std::size_t n = s.size();
  if constexpr (std::endian::native == std::endian::little) {
    auto load = [p](std::size_t at, auto word) {
      std::memcpy(&word, p + at, sizeof word);
      return static_cast<std::uint64_t>(word);
    };
    // Two overlapping loads cover a name of fewer than eight bytes.
    std::uint64_t w = 0;
    if (n >= 8)
      w = load(0, std::uint64_t{});
    else if (n >= 4)
      w = load(0, std::uint32_t{}) | load(n - 4, std::uint32_t{}) << (8 * (n - 4));
    else if (n >= 2)
      w = load(0, std::uint16_t{}) | load(n - 2, std::uint16_t{}) << (8 * (n - 2));
    else if (n == 1)
      w = static_cast<unsigned char>(p[0]);
    return __builtin_bswap64(w);
  } else {
    std::uint64_t w = 0;
    for (std::size_t i = 0; i < 8; ++i) w = w << 8 | (i < n ? static_cast<unsigned char>(p[i]) : 0u);
    return w;
  }
}

// A member to put in name order: its name, the name's key and its place
// among the object's members, which orders equal names.
struct NameEntry {
  std::string_view name;
  std::uint64_t key;
  std::size_t index;
};

inline bool entry_before(const NameEntry& a, const NameEntry& b) {
  if (a.key != b.key) return a.key < b.key;
  // char_traits<char> compares bytes as unsigned values.
  const int order = a.name.compare(b.name);
  return order != 0 ? order < 0 : a.index < b.index;
}

// Puts `n` entries in name order, equal names in the order of their places:
// by insertion, which is a few instructions per step and next to nothing for
// members that come nearly in order, up to a size where std::sort out of
// line is cheaper.
void sort_many_entries(NameEntry* first, std::size_t n);
inline void sort_entries(NameEntry* first, std::size_t n) {
  if (n > 32) {
    sort_many_entries(first, n);
    return;
  }
  for (std::size_t i = 1; i < n; ++i) {
    const NameEntry moving = first[i];
    std::size_t j = i;
    for (; j > 0 && entry_before(moving, first[j - 1]); --j) first[j] = first[j - 1];
    first[j] = moving;
  }
}

// Appends `s` as a JSON string: quotation marks around it; `"` and `\` escaped
// with a backslash; \b \t \n \f \r for those controls; \u00XX (lower-case hex)
// for the other characters below U+0020; every other byte unchanged. The
// response writer and the canonical writer share this.
void append_json_string(std::string& out, std::string_view s);

// Appends a binary64 in the canonical float spelling: "1.0", "12.5",
// "0.00001", "1e+16", "1.25e-7", "-0.0". Positional for decimal exponents
// from -5 to 15, exponent form outside. Not-finite values (which the reader
// never produces) are written NaN, inf and -inf.
void append_float(std::string& out, double d);

// The layout part of append_float: the non-zero value whose shortest digits
// are `digits` (n of them, the first and last not '0') with decimal exponent
// `e`, so that its magnitude is d1.d2...dn times 10 to the power e.
void append_float_digits(std::string& out, bool negative, const char* digits, int n, int e);

// Appends an integer in plain decimal.
void append_uint(std::string& out, std::uint64_t u);
void append_int(std::string& out, std::int64_t i);

}  // namespace lantor::json
