// Short texts, as names and most strings are: up to 16 bytes are compared
// or copied as two overlapping loads (and stores), without a loop or a
// library call, which would cost more than the bytes themselves.
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

// Copies the n bytes at `from` to `to`, which do not overlap.
inline void copy_text(char* to, const char* from, std::size_t n) {
  using namespace same_text_detail;
  auto ends = [&](auto word) {
    using Word = decltype(word);
    const Word head = load<Word>(from);
    const Word tail = load<Word>(from + n - sizeof(Word));
    std::memcpy(to, &head, sizeof(Word));
    std::memcpy(to + n - sizeof(Word), &tail, sizeof(Word));
  };
  if (n > 16)
    std::memcpy(to, from, n);
  else if (n >= 8)
    ends(std::uint64_t{});
  else if (n >= 4)
    ends(std::uint32_t{});
  else if (n >= 2)
    ends(std::uint16_t{});
  else if (n == 1)
    *to = *from;
}

}  // namespace lantor
