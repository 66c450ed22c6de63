// Numbers: unsigned 64-bit integers, negative signed 64-bit integers, and
// binary64 for everything else (a fraction, an exponent, "-0", or an integer
// beyond the 64-bit ranges), correctly rounded.
#include <charconv>
#include <cmath>
#include <limits>

#include "core/json/reader.h"

namespace lantor::json {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether a literal that did not fit in a binary64 is too large (true) or too
// small (false): the decimal exponent of its first non-zero digit decides.
bool literal_overflows(std::string_view lit) {
  std::size_t i = 0;
  if (i < lit.size() && lit[i] == '-') ++i;
  long long lead = 0;  // decimal exponent of the first non-zero digit
  bool found = false;
  long long int_digits = 0;
  for (; i < lit.size() && is_digit(lit[i]); ++i, ++int_digits) {
    if (!found && lit[i] != '0') {
      found = true;
      lead = int_digits;  // fixed below once the count is known
    }
  }
  if (found) lead = int_digits - lead - 1;
  if (i < lit.size() && lit[i] == '.') {
    ++i;
    long long k = 0;
    for (; i < lit.size() && is_digit(lit[i]); ++i) {
      ++k;
      if (!found && lit[i] != '0') {
        found = true;
        lead = -k;
      }
    }
  }
  long long exp = 0;
  if (i < lit.size() && (lit[i] == 'e' || lit[i] == 'E')) {
    ++i;
    bool neg = false;
    if (lit[i] == '-' || lit[i] == '+') neg = lit[i++] == '-';
    for (; i < lit.size(); ++i) {
      if (exp < 1'000'000'000) exp = exp * 10 + (lit[i] - '0');
    }
    if (neg) exp = -exp;
  }
  return found && lead + exp > 0;
}

// Decimals with at most 15 significant digits and a small power of ten: the
// digits and the power are both exact binary64 values, so one multiplication
// or division gives the correctly rounded result.
bool exact_fast_path(std::string_view lit, double& out) {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  std::size_t i = 0;
  const bool negative = lit[0] == '-';
  if (negative) ++i;
  std::uint64_t mantissa = 0;
  int digits = 0;
  int exp10 = 0;
  for (; i < lit.size() && is_digit(lit[i]); ++i) {
    if (++digits > 15) return false;
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(lit[i] - '0');
  }
  if (i < lit.size() && lit[i] == '.') {
    for (++i; i < lit.size() && is_digit(lit[i]); ++i) {
      if (++digits > 15) return false;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(lit[i] - '0');
      --exp10;
    }
  }
  if (i < lit.size()) {  // an exponent
    ++i;
    bool neg_exp = false;
    if (lit[i] == '+' || lit[i] == '-') neg_exp = lit[i++] == '-';
    int e = 0;
    for (; i < lit.size(); ++i) {
      if (e > 100) return false;
      e = e * 10 + (lit[i] - '0');
    }
    exp10 += neg_exp ? -e : e;
  }
  if (exp10 < -22 || exp10 > 22) return false;
  double m = static_cast<double>(mantissa);
  double v = exp10 < 0 ? m / kPow10[-exp10] : m * kPow10[exp10];
  out = negative ? -v : v;
  return true;
}

}  // namespace

ReadStatus Reader::scan_number(bool& integral) {
  const std::size_t n = text_.size();
  integral = true;
  if (text_[pos_] == '-') ++pos_;
  if (pos_ >= n) return fail(syntax_error(msg::kEofValue));
  char c = text_[pos_];
  if (c == '0') {
    ++pos_;
    // Only one leading zero.
    if (pos_ < n && is_digit(text_[pos_])) return fail(syntax_peek_error(msg::kInvalidNumber));
  } else if (c >= '1' && c <= '9') {
    while (pos_ < n && is_digit(text_[pos_])) ++pos_;
  } else {
    ++pos_;
    return fail(syntax_error(msg::kInvalidNumber));
  }
  if (pos_ < n && text_[pos_] == '.') {
    integral = false;
    ++pos_;
    if (pos_ >= n) return fail(syntax_peek_error(msg::kEofValue));
    if (!is_digit(text_[pos_])) return fail(syntax_peek_error(msg::kInvalidNumber));
    while (pos_ < n && is_digit(text_[pos_])) ++pos_;
  }
  if (pos_ < n && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
    integral = false;
    ++pos_;
    if (pos_ < n && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
    if (pos_ >= n) return fail(syntax_error(msg::kEofValue));
    if (!is_digit(text_[pos_++])) return fail(syntax_error(msg::kInvalidNumber));
    while (pos_ < n && is_digit(text_[pos_])) ++pos_;
  }
  return Ok{};
}

ReadStatus Reader::skip_number() {
  bool integral;
  return scan_number(integral);
}

bool Reader::read_plain_number(Value& out) {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* p = text_.data() + pos_;
  const char* const end = text_.data() + text_.size();
  const bool negative = *p == '-';
  if (negative) ++p;
  if (p == end || !is_digit(*p)) return false;
  if (*p == '0' && p + 1 < end && is_digit(p[1])) return false;
  std::uint64_t m = 0;
  const char* q = p;
  while (q < end && is_digit(*q) && q - p < 20) m = m * 10 + static_cast<std::uint64_t>(*q++ - '0');
  std::ptrdiff_t digits = q - p;
  if (digits > 19) return false;
  bool integral = true;
  int exp10 = 0;
  if (q < end && *q == '.') {
    integral = false;
    const char* f = ++q;
    while (q < end && is_digit(*q) && digits + (q - f) < 16)
      m = m * 10 + static_cast<std::uint64_t>(*q++ - '0');
    std::ptrdiff_t frac = q - f;
    if (frac == 0 || (q < end && is_digit(*q))) return false;
    digits += frac;
    exp10 = -static_cast<int>(frac);
  }
  if (q < end && (*q == 'e' || *q == 'E')) return false;
  if (integral) {
    if (!negative) {
      out = Value::uint(m);
    } else if (m == 0) {
      out = Value::floating(-0.0);
    } else if (m <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      out = Value::negint(-static_cast<std::int64_t>(m));
    } else {
      return false;
    }
  } else {
    if (digits > 15 || exp10 < -22) return false;
    double v = static_cast<double>(m) / kPow10[-exp10];
    out = Value::floating(negative ? -v : v);
  }
  pos_ = static_cast<std::size_t>(q - text_.data());
  return true;
}

ReadResult<Value> Reader::read_number() {
  if (Value v; read_plain_number(v)) return v;
  const std::size_t start = pos_;
  const char* base = text_.data();
  const std::size_t n = text_.size();
  const bool negative = base[pos_] == '-';

  // The common case, a short integer, is read in one pass.
  std::size_t p = pos_ + (negative ? 1 : 0);
  std::uint64_t acc = 0;
  std::size_t digits = 0;
  while (p < n && is_digit(base[p]) && digits < 19) {
    acc = acc * 10 + static_cast<std::uint64_t>(base[p] - '0');
    ++p;
    ++digits;
  }

  bool integral;
  LANTOR_TRY(scan_number(integral));
  if (integral && pos_ == p) {
    // Fits in 19 digits: no overflow of the accumulator.
    if (!negative) return Value::uint(acc);
    if (acc == 0) return Value::floating(-0.0);
    if (acc <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return Value::negint(-static_cast<std::int64_t>(acc));
  } else if (integral && pos_ == p + 1) {
    // Twenty digits: the unsigned range may still hold it.
    std::uint64_t d = static_cast<std::uint64_t>(base[p] - '0');
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (acc <= (kMax - d) / 10) {
      std::uint64_t u = acc * 10 + d;
      if (!negative) return Value::uint(u);
    }
  }
  if (integral && negative && pos_ == p && acc == (std::uint64_t{1} << 63)) {
    return Value::negint(std::numeric_limits<std::int64_t>::min());
  }

  std::string_view lit = text_.substr(start, pos_ - start);
  double d = 0.0;
  if (!integral && exact_fast_path(lit, d)) return Value::floating(d);
  std::from_chars_result r = std::from_chars(lit.data(), lit.data() + lit.size(), d);
  if (r.ec == std::errc::result_out_of_range) {
    if (literal_overflows(lit)) return fail(error(msg::kNumberOutOfRange));
    return Value::floating(negative ? -0.0 : 0.0);
  }
  if (r.ec != std::errc() || std::isinf(d)) return fail(error(msg::kNumberOutOfRange));
  return Value::floating(d);
}

}  // namespace lantor::json
