#include "core/base/utf8.h"

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

// The bytes of the sequence that starts `s` (non-empty, first byte not
// ASCII) that are valid so far, lead byte included, and whether they make a
// whole character.
struct Prefix {
  std::size_t length;
  bool complete;
};

Prefix valid_prefix(std::string_view s) {
  const Lead lead = classify(static_cast<unsigned char>(s[0]));
  if (lead.count == 0) return {1, false};
  std::size_t j = 1;
  for (int k = 0; k < lead.count; ++k, ++j) {
    if (j >= s.size()) return {j, false};
    const auto c = static_cast<unsigned char>(s[j]);
    const unsigned char lo = k == 0 ? lead.lo : 0x80;
    const unsigned char hi = k == 0 ? lead.hi : 0xBF;
    if (c < lo || c > hi) return {j, false};
  }
  return {j, true};
}

}  // namespace

std::size_t decode_utf8(std::string_view s, char32_t& cp) {
  const auto c = static_cast<unsigned char>(s[0]);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  const Prefix p = valid_prefix(s);
  if (!p.complete) return 0;
  // The lead byte keeps 7 - length bits, each continuation byte 6.
  cp = c & (0x7F >> p.length);
  for (std::size_t i = 1; i < p.length; ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  return p.length;
}

bool is_valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    // ASCII runs are the common case.
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const Prefix p = valid_prefix(s.substr(i));
    if (!p.complete) return false;
    i += p.length;
  }
  return true;
}

std::string utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      out += bytes[i++];
      continue;
    }
    const Prefix p = valid_prefix(bytes.substr(i));
    if (p.complete)
      out.append(bytes.substr(i, p.length));
    else
      out += kReplacement;
    i += p.length;
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
