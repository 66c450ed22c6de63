#include "core/project/utf8_lossy.h"

namespace lantor {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// For a lead byte: how many continuation bytes follow it and the range the
// first of them must lie in (which rules out overlong forms, surrogates and
// code points above U+10FFFF). `count` is 0 for a byte that cannot lead.
struct Lead {
  int count;
  unsigned char lo, hi;
};

Lead classify(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
  if (b == 0xE0) return {2, 0xA0, 0xBF};
  if (b == 0xED) return {2, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {2, 0x80, 0xBF};
  if (b == 0xF0) return {3, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
  if (b == 0xF4) return {3, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

std::string utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    Lead lead = classify(b);
    std::size_t j = i + 1;
    bool complete = lead.count > 0;
    for (int k = 0; complete && k < lead.count; ++k, ++j) {
      if (j >= n) {
        complete = false;
        break;
      }
      auto c = static_cast<unsigned char>(bytes[j]);
      unsigned char lo = k == 0 ? lead.lo : 0x80;
      unsigned char hi = k == 0 ? lead.hi : 0xBF;
      if (c < lo || c > hi) complete = false;
      if (!complete) break;
    }
    if (complete) {
      out.append(bytes.substr(i, j - i));
    } else {
      out += kReplacement;
    }
    i = j;
  }
  return out;
}

std::string_view utf8_tail(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t start = text.size() - max_bytes;
  while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) ++start;
  return text.substr(start);
}

}  // namespace lantor
