// Word-at-a-time scanning of string bytes: eight bytes are loaded at once
// and, when none of them is of interest, passed over together. The masks
// flag, in each byte's top bit, the bytes a string's scan stops at. A flag
// can only be spurious above a real one, so a word without flags holds none
// of them, and on a little-endian machine the lowest flag is exactly the
// first such byte.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace lantor::json::word_scan {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// The words are read in memory order only on little-endian machines, where
// the lowest flag belongs to the earliest byte.
inline constexpr bool kInOrder = std::endian::native == std::endian::little;

constexpr std::uint64_t zero_bytes(std::uint64_t w) { return (w - kOnes) & ~w & kHighs; }

// The quote, the backslash and controls: what JSON text must escape, and
// what ends a run of a string's bytes.
constexpr std::uint64_t escape_stops(std::uint64_t w) {
  return zero_bytes(w ^ (kOnes * '"')) | zero_bytes(w ^ (kOnes * '\\')) | ((w - kOnes * 0x20) & ~w & kHighs);
}

// The same and non-ASCII bytes, which reading checks as UTF-8.
constexpr std::uint64_t read_stops(std::uint64_t w) { return escape_stops(w) | (w & kHighs); }

// Bytes that are not ASCII digits. Without a carry or borrow from a lower
// byte, a byte's flag is exact: above '9' the addition sets its top bit,
// below '0' the subtraction does, and of the bytes from 0x80 up each sets it
// in one of the two. So the lowest flag, which no lower byte disturbs, is
// the first byte that is not a digit.
constexpr std::uint64_t non_digits(std::uint64_t w) {
  return ((w + kOnes * 0x46) | (w - kOnes * '0')) & kHighs;
}

inline std::uint64_t load(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// The first byte from `p` on that ends a run, or `end`: `stops` flags such
// bytes in a word, eight bytes at a time while they last, and `ends` says so
// of one byte, for the bytes left over (and every byte on a machine whose
// words are not in memory order).
template <std::uint64_t (*Stops)(std::uint64_t), class Ends>
inline const char* run_end(const char* p, const char* end, Ends ends) {
  if constexpr (kInOrder) {
    while (end - p >= 8) {
      const std::uint64_t flags = Stops(load(p));
      if (flags != 0) return p + std::countr_zero(flags) / 8;
      p += 8;
    }
  }
  while (p < end && !ends(static_cast<unsigned char>(*p))) ++p;
  return p;
}

}  // namespace lantor::json::word_scan
