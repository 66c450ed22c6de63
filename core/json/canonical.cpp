#include "core/json/canonical.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/base/short_text.h"
#include "core/json/word_scan.h"

namespace lantor::json {

void sort_many_entries(NameEntry* first, std::size_t n) { std::sort(first, first + n, entry_before); }

void append_uint(std::string& out, std::uint64_t u) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, u);
  out.append(buf, r.ptr);
}

void append_int(std::string& out, std::int64_t i) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, i);
  out.append(buf, r.ptr);
}

void append_float(std::string& out, double d) {
  if (std::isnan(d)) {
    out += "NaN";
    return;
  }
  if (std::isinf(d)) {
    out += d < 0 ? "-inf" : "inf";
    return;
  }
  if (d == 0.0) {
    out += std::signbit(d) ? "-0.0" : "0.0";
    return;
  }
  // Shortest round-trip digits, nearest to the exact value, in scientific
  // form: "-d.ddde+XX". The layout is then rebuilt from digits and exponent.
  char sci[40];
  auto r = std::to_chars(sci, sci + sizeof sci, d, std::chars_format::scientific);
  const char* p = sci;
  const bool negative = *p == '-';
  if (negative) ++p;
  char digits[24];
  int n = 0;
  for (; p < r.ptr && *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  int e = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), r.ptr, e);
  // to_chars never writes trailing zeros in the shortest form, but be exact.
  while (n > 1 && digits[n - 1] == '0') --n;
  append_float_digits(out, negative, digits, n, e);
}

void append_float_digits(std::string& out, bool negative, const char* digits, int n, int e) {
  if (negative) out += '-';
  if (e >= -5 && e <= 15) {
    if (e >= n - 1) {
      out.append(digits, n);
      const int zeros = e - n + 1;
      out.append(static_cast<std::size_t>(zeros), '0');
      out += ".0";
    } else if (e >= 0) {
      out.append(digits, e + 1);
      out += '.';
      out.append(digits + e + 1, n - e - 1);
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-e - 1), '0');
      out.append(digits, n);
    }
    return;
  }
  out += digits[0];
  if (n >= 2) {
    out += '.';
    out.append(digits + 1, n - 1);
  }
  out += 'e';
  out += e < 0 ? '-' : '+';
  append_uint(out, static_cast<std::uint64_t>(e < 0 ? -e : e));
}

namespace {

// The end of the run at `p` that needs no escaping; whole words of such bytes
// are passed over eight at a time.
const char* escape_free_run_end(const char* p, const char* end) {
  return word_scan::run_end<word_scan::escape_stops>(
      p, end, [](unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; });
}

}  // namespace

void append_json_string(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  const char* p = s.data();
  const char* end = p + s.size();
  if (escape_free_run_end(p, end) == end) {
    // The usual string, with nothing to escape: written in one step.
    const std::size_t at = out.size();
    out.resize(at + s.size() + 2);
    char* d = out.data() + at;
    d[0] = '"';
    copy_text(d + 1, p, s.size());
    d[s.size() + 1] = '"';
    return;
  }
  out += '"';
  while (p < end) {
    // Copy the longest run that needs no escaping in one go.
    const char* run = p;
    p = escape_free_run_end(p, end);
    out.append(run, p);
    if (p == end) break;
    unsigned char c = static_cast<unsigned char>(*p++);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default: {
        char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        out.append(esc, 6);
      }
    }
  }
  out += '"';
}

}  // namespace lantor::json
