// Reading a value straight into its canonical text, without building a tree.
// Used for large inline datasets, whose only uses are their canonical text
// and a check that they are arrays: a tree of a million small objects would
// cost several times the text in memory and most of the reading time.
//
// Acceptance, error texts and error offsets are those of read_value: the
// walk below mirrors read_array and read_object call for call, and numbers
// and strings go through the same readers.
#include <algorithm>

#include "core/json/canonical.h"
#include "core/json/reader.h"

namespace lantor::json {
namespace {

void append_number(std::string& out, const Value& v) {
  switch (v.kind()) {
    case Kind::UInt: append_uint(out, v.as_uint()); return;
    case Kind::NegInt: append_int(out, v.as_negint()); return;
    default: append_float(out, v.as_float()); return;
  }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// The common numbers straight from their spelling, without a binary value:
// - an integer of up to 19 digits (18 when negative) is within the 64-bit
//   ranges, and JSON's spelling of it (no leading zeros) is the canonical one;
// - a decimal without exponent of at most 15 significant digits: every such
//   decimal survives the trip through binary64 and back, so no other decimal
//   of at most 15 digits reads as the same value, and its own digits (without
//   leading and trailing zeros) are the shortest round-trip digits.
// Anything else, malformed text included, returns false with nothing
// consumed or written, and goes the general way.
bool Reader::canonical_plain_number(std::string& out) {
  const char* const begin = text_.data() + pos_;
  const char* const end = text_.data() + text_.size();
  const char* p = begin;
  const bool negative = *p == '-';
  if (negative) ++p;
  const char* const int_begin = p;
  if (p == end || !is_digit(*p)) return false;
  if (*p == '0') {
    ++p;
    if (p < end && is_digit(*p)) return false;
  } else {
    while (p < end && is_digit(*p)) ++p;
  }
  const char* const int_end = p;
  if (p < end && (*p == 'e' || *p == 'E')) return false;
  if (p == end || *p != '.') {
    const std::size_t len = static_cast<std::size_t>(int_end - int_begin);
    // "-0" is the float negative zero.
    if (len > (negative ? 18u : 19u) || (negative && *int_begin == '0')) return false;
    out.append(begin, int_end);
    pos_ += static_cast<std::size_t>(int_end - begin);
    return true;
  }
  const char* const frac_begin = ++p;
  if (p == end || !is_digit(*p)) return false;
  while (p < end && is_digit(*p)) ++p;
  const char* const frac_end = p;
  if (p < end && (*p == 'e' || *p == 'E')) return false;

  // Most decimals are spelled canonically already: a fraction that ends in a
  // non-zero digit (or is the single 0 of a whole number), with at most 15
  // significant digits and no more than four zeros after "0.". Their text is
  // copied as it stands.
  const std::size_t int_len = static_cast<std::size_t>(int_end - int_begin);
  const std::size_t frac_len = static_cast<std::size_t>(frac_end - frac_begin);
  bool as_spelled = false;
  if (frac_end[-1] != '0') {
    if (*int_begin != '0') {
      as_spelled = int_len + frac_len <= 15;
    } else {
      std::size_t zeros = 0;
      while (zeros < frac_len && frac_begin[zeros] == '0') ++zeros;
      as_spelled = zeros <= 4 && frac_len - zeros <= 15;
    }
  } else if (frac_len == 1) {
    as_spelled = int_len <= 15;
  }
  if (as_spelled) {
    out.append(begin, frac_end);
    pos_ += static_cast<std::size_t>(frac_end - begin);
    return true;
  }

  // The significant digits, from the first non-zero one, and the decimal
  // exponent of that first one.
  char digits[32];
  int n = 0;
  long e = 0;
  for (const char* q = int_begin; q < int_end; ++q) {
    if (n == 0 && *q == '0') continue;
    if (n == 0) e = int_end - q - 1;
    if (n == 32) return false;
    digits[n++] = *q;
  }
  for (const char* q = frac_begin; q < frac_end; ++q) {
    if (n == 0 && *q == '0') continue;
    if (n == 0) e = -(q - frac_begin + 1);
    if (n == 32) return false;
    digits[n++] = *q;
  }
  while (n > 0 && digits[n - 1] == '0') --n;
  if (n > 15) return false;
  // Far from the ends of the binary64 range, where the above holds.
  if (e < -300 || e > 300) return false;
  if (n == 0) {
    out += negative ? "-0.0" : "0.0";
  } else {
    append_float_digits(out, negative, digits, n, static_cast<int>(e));
  }
  pos_ += static_cast<std::size_t>(frac_end - begin);
  return true;
}

ReadStatus Reader::read_canonical(int depth, std::string& out) {
  int c = peek_ws();
  switch (c) {
    case -1: return fail(peek_error(msg::kEofValue));
    case 'n':
      bump();
      LANTOR_TRY(read_ident("ull"));
      out += "null";
      return Ok{};
    case 't':
      bump();
      LANTOR_TRY(read_ident("rue"));
      out += "true";
      return Ok{};
    case 'f':
      bump();
      LANTOR_TRY(read_ident("alse"));
      out += "false";
      return Ok{};
    case '"':
      LANTOR_TRY(read_string(canon_string_));
      append_json_string(out, canon_string_);
      return Ok{};
    case '[':
      LANTOR_TRY(open(depth));
      return canonical_array(depth + 1, out);
    case '{':
      LANTOR_TRY(open(depth));
      return canonical_object(depth + 1, out);
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        if (canonical_plain_number(out)) return Ok{};
        ReadResult<Value> number = read_number();
        LANTOR_TRY(number);
        append_number(out, *number);
        return Ok{};
      }
      return fail(peek_error(msg::kExpectedValue));
  }
}

ReadStatus Reader::canonical_array(int depth, std::string& out) {
  out += '[';
  bool first = true;
  bool any = false;
  for (;;) {
    ReadResult<bool> more = next_element(first);
    LANTOR_TRY(more);
    if (!*more) break;
    if (any) out += ',';
    any = true;
    LANTOR_TRY(read_canonical(depth, out));
  }
  LANTOR_TRY(end_array());
  out += ']';
  return Ok{};
}

ReadStatus Reader::canonical_object(int depth, std::string& out) {
  // The values are written where they stand, in document order; once the
  // object is complete its members are rewritten in name order. Each level
  // has its own lists so that nested objects do not disturb them.
  if (canon_levels_.empty()) canon_levels_.resize(kMaxDepth + 2);
  CanonLevel& level = canon_levels_[static_cast<std::size_t>(depth)];
  std::vector<CanonMember>& members = level.members;
  CanonLayout& layout = level.layout;
  std::size_t count = 0;
  // Members from the start whose names were recognised as the kept layout's
  // spelled the plain way, without reading them.
  std::size_t matched = 0;
  const std::size_t start = out.size();
  bool first = true;
  for (;;) {
    if (count == members.size()) members.emplace_back();
    CanonMember& m = members[count];
    if (matched == count && count < layout.keys.size() && !layout.keys[count].empty()) {
      // `"name":` right here, or `,"name":` after the first member: what
      // next_key and colon would read without fail, as the same name.
      const std::string& key = layout.keys[count];
      const std::size_t lead = first ? 0 : 1;
      if (text_.size() - pos_ >= lead + key.size() && (first || text_[pos_] == ',') &&
          text_.compare(pos_ + lead, key.size(), key) == 0) {
        pos_ += lead + key.size();
        first = false;
        ++matched;
        m.begin = out.size();
        LANTOR_TRY(read_canonical(depth, out));
        m.end = out.size();
        ++count;
        continue;
      }
    }
    ReadResult<bool> more = next_key(first, m.name);
    LANTOR_TRY(more);
    if (!*more) break;
    LANTOR_TRY(colon());
    m.begin = out.size();
    LANTOR_TRY(read_canonical(depth, out));
    m.end = out.size();
    ++count;
  }
  LANTOR_TRY(end_object());

  bool same = layout.valid && layout.names.size() == count;
  for (std::size_t i = matched; same && i < count; ++i) same = layout.names[i] == members[i].name;
  if (!same) {
    for (std::size_t i = 0; i < matched; ++i) members[i].name = layout.names[i];
    plan_layout(level, count);
  }

  canon_values_.assign(out, start, std::string::npos);
  out.resize(start);
  out += '{';
  for (const auto& [index, key] : layout.writes) {
    out += key;
    const CanonMember& m = members[index];
    out.append(canon_values_, m.begin - start, m.end - m.begin);
  }
  out += '}';
  return Ok{};
}

void Reader::plan_layout(CanonLevel& level, std::size_t count) {
  const std::vector<CanonMember>& members = level.members;
  // Name order, stable, so that of repeated names the last one read comes
  // last among its equals; it alone is written, as a repeated name keeps
  // only its last value.
  std::vector<std::size_t>& order = canon_order_;
  order.resize(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = i;
  auto less = [&](std::size_t a, std::size_t b) { return members[a].name < members[b].name; };
  if (count <= 16) {
    // Insertion sort: stable, and no buffer to allocate for a few names.
    for (std::size_t i = 1; i < count; ++i) {
      std::size_t moving = order[i];
      std::size_t j = i;
      for (; j > 0 && less(moving, order[j - 1]); --j) order[j] = order[j - 1];
      order[j] = moving;
    }
  } else {
    std::stable_sort(order.begin(), order.end(), less);
  }
  CanonLayout& layout = level.layout;
  layout.writes.clear();
  for (std::size_t k = 0; k < count; ++k) {
    const CanonMember& m = members[order[k]];
    if (k + 1 < count && members[order[k + 1]].name == m.name) continue;
    std::string key = layout.writes.empty() ? "" : ",";
    append_json_string(key, m.name);
    key += ':';
    layout.writes.emplace_back(order[k], std::move(key));
  }
  layout.names.resize(count);
  layout.keys.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& name = members[i].name;
    layout.names[i] = name;
    // Only a name without quotation marks, backslashes and control
    // characters has a single spelling without escapes.
    bool plain = true;
    for (char ch : name) {
      unsigned char c = static_cast<unsigned char>(ch);
      if (c < 0x20 || c == '"' || c == '\\') plain = false;
    }
    layout.keys[i].clear();
    if (plain) {
      layout.keys[i] += '"';
      layout.keys[i] += name;
      layout.keys[i] += "\":";
    }
  }
  layout.valid = true;
}

}  // namespace lantor::json
