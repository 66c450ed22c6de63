#include "core/json/number.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "core/json/canonical.h"

namespace lantor::json {
namespace {

// The powers of ten that binary64 holds exactly.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

Number uint_number(std::uint64_t u) {
  Number n;
  n.kind = Kind::UInt;
  n.u = u;
  return n;
}

Number negint_number(std::int64_t i) {
  Number n;
  n.kind = Kind::NegInt;
  n.i = i;
  return n;
}

Number float_number(double d) {
  Number n;
  n.kind = Kind::Float;
  n.d = d;
  return n;
}

// Whether a literal that did not fit in a binary64 is too large (true) or too
// small (false): the decimal exponent of its first non-zero digit decides.
bool overflows(const NumberSpelling& n) {
  std::int64_t lead = 0;
  bool found = false;
  for (const char* p = n.int_begin; p < n.int_end && !found; ++p) {
    if (*p != '0') {
      found = true;
      lead = n.int_end - p - 1;
    }
  }
  for (const char* p = n.frac_begin; p < n.frac_end && !found; ++p) {
    if (*p != '0') {
      found = true;
      lead = -(p - n.frac_begin + 1);
    }
  }
  return found && lead + n.exponent > 0;
}

// The first `count` digits of the literal, int part then fraction.
std::uint64_t leading_digits(const NumberSpelling& n, std::size_t count) {
  std::uint64_t m = 0;
  const char* p = n.int_begin;
  for (; p < n.int_end && count > 0; ++p, --count) m = m * 10 + static_cast<std::uint64_t>(*p - '0');
  for (p = n.frac_begin; p < n.frac_end && count > 0; ++p, --count)
    m = m * 10 + static_cast<std::uint64_t>(*p - '0');
  return m;
}

}  // namespace

bool any_number_value(const NumberSpelling& n, Number& out) {
  constexpr auto kMaxNeg = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  const std::size_t count = n.digit_count();
  if (n.integral()) {
    if (count <= 19) {
      const std::uint64_t m = leading_digits(n, count);
      if (!n.negative) {
        out = uint_number(m);
        return true;
      }
      if (m == 0) {
        out = float_number(-0.0);
        return true;
      }
      if (m <= kMaxNeg) {
        out = negint_number(-static_cast<std::int64_t>(m));
        return true;
      }
      if (m == kMaxNeg + 1) {
        out = negint_number(std::numeric_limits<std::int64_t>::min());
        return true;
      }
    } else if (count == 20 && !n.negative) {
      // Twenty digits: the unsigned range may still hold it.
      const std::uint64_t m = leading_digits(n, 19);
      const auto d = static_cast<std::uint64_t>(n.int_end[-1] - '0');
      if (m <= (std::numeric_limits<std::uint64_t>::max() - d) / 10) {
        out = uint_number(m * 10 + d);
        return true;
      }
    }
  } else if (count <= 15) {
    // At most 15 digits and a small power of ten: both are exact binary64
    // values, so one multiplication or division rounds correctly.
    const std::int64_t exp10 = n.exponent - (n.frac_end - n.frac_begin);
    if (exp10 >= -22 && exp10 <= 22) {
      const auto m = static_cast<double>(leading_digits(n, count));
      const double v = exp10 < 0 ? m / kPow10[-exp10] : m * kPow10[exp10];
      out = float_number(n.negative ? -v : v);
      return true;
    }
  }
  double d = 0.0;
  const std::from_chars_result r = std::from_chars(n.begin, n.end, d);
  if (r.ec == std::errc::result_out_of_range) {
    if (overflows(n)) return false;
    out = float_number(n.negative ? -0.0 : 0.0);
    return true;
  }
  if (r.ec != std::errc() || std::isinf(d)) return false;
  out = float_number(d);
  return true;
}

namespace {

// A decimal without exponent of at most 15 significant digits, laid out
// again from its digits without a binary value; false for anything else.
bool append_decimal_digits(std::string& out, const NumberSpelling& n) {
  if (n.has_exponent || !n.has_fraction()) return false;
  // The significant digits, from the first non-zero one, and the decimal
  // exponent of that first one.
  char digits[32];
  int count = 0;
  long e = 0;
  for (const char* q = n.int_begin; q < n.int_end; ++q) {
    if (count == 0 && *q == '0') continue;
    if (count == 0) e = n.int_end - q - 1;
    if (count == 32) return false;
    digits[count++] = *q;
  }
  for (const char* q = n.frac_begin; q < n.frac_end; ++q) {
    if (count == 0 && *q == '0') continue;
    if (count == 0) e = -(q - n.frac_begin + 1);
    if (count == 32) return false;
    digits[count++] = *q;
  }
  while (count > 0 && digits[count - 1] == '0') --count;
  if (count > 15) return false;
  // Far from the ends of the binary64 range, where the above holds.
  if (e < -300 || e > 300) return false;
  if (count == 0)
    out += n.negative ? "-0.0" : "0.0";
  else
    append_float_digits(out, n.negative, digits, count, static_cast<int>(e));
  return true;
}

}  // namespace

void append_canonical_number(std::string& out, const NumberSpelling& n, const Number& value) {
  if (canonical_as_spelled(n)) {
    out.append(n.begin, n.end);
    return;
  }
  if (append_decimal_digits(out, n)) return;
  switch (value.kind) {
    case Kind::UInt: append_uint(out, value.u); return;
    case Kind::NegInt: append_int(out, value.i); return;
    default: append_float(out, value.d); return;
  }
}

}  // namespace lantor::json
