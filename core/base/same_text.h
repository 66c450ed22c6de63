// Equality of names, which are short: up to 16 bytes are compared as two
// overlapping loads from each side, without a loop or a library call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace lantor {

namespace same_text_detail {
template <class Word>
inline Word load(const char* p) {
  Word w;
  std::memcpy(&w, p, sizeof w);
  return w;
}
// The first and the last sizeof(Word) bytes, which cover all n of them.
template <class Word>
inline bool same_ends(const char* p, const char* q, std::size_t n) {
  return load<Word>(p) == load<Word>(q) &&
         load<Word>(p + n - sizeof(Word)) == load<Word>(q + n - sizeof(Word));
}
}  // namespace same_text_detail

inline bool same_text(std::string_view a, std::string_view b) {
  using namespace same_text_detail;
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  if (n >= 8) return n <= 16 ? same_ends<std::uint64_t>(p, q, n) : std::memcmp(p, q, n) == 0;
  if (n >= 4) return same_ends<std::uint32_t>(p, q, n);
  if (n >= 2) return same_ends<std::uint16_t>(p, q, n);
  return n == 0 || *p == *q;
}

}  // namespace lantor
