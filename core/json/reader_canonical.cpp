// Reading a value straight into its canonical text, without building a tree.
// Used for large inline datasets, whose only uses are their canonical text
// and a check that they are arrays: a tree of a million small objects would
// cost several times the text in memory and most of the reading time.
//
// Acceptance, error texts and error offsets are those of read_value: the
// walk below mirrors read_array and read_object call for call, and numbers
// and strings go through the same readers.
#include <algorithm>
#include <cstdint>
#include <cstring>

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

namespace {

// The parts of a number spelled without exponent: an integer, or a decimal
// with digits on both sides of its point.
struct PlainSpelling {
  const char* begin;  // the sign, or the first digit
  const char* int_begin;
  const char* int_end;
  const char* frac_begin;  // == frac_end for an integer
  const char* frac_end;
  bool negative;
  bool decimal;
  const char* end() const { return decimal ? frac_end : int_end; }
};

// Scans the number at `p` without an exponent; false for anything else,
// malformed text included.
bool scan_plain(const char* p, const char* end, PlainSpelling& n) {
  n.begin = p;
  n.negative = *p == '-';
  if (n.negative) ++p;
  n.int_begin = p;
  if (p == end || !is_digit(*p)) return false;
  if (*p == '0') {
    ++p;
    if (p < end && is_digit(*p)) return false;
  } else {
    while (p < end && is_digit(*p)) ++p;
  }
  n.int_end = p;
  n.decimal = p < end && *p == '.';
  if (n.decimal) {
    n.frac_begin = ++p;
    if (p == end || !is_digit(*p)) return false;
    while (p < end && is_digit(*p)) ++p;
  } else {
    n.frac_begin = p;
  }
  n.frac_end = p;
  return !(p < end && (*p == 'e' || *p == 'E'));
}

// Whether the spelling is the canonical text of its number:
// - an integer of up to 19 digits (18 when negative) is within the 64-bit
//   ranges, and JSON's spelling of it (no leading zeros) is the canonical one
//   ("-0", though, is the float negative zero);
// - a decimal whose fraction ends in a non-zero digit (or is the single 0 of
//   a whole number), with at most 15 significant digits and no more than four
//   zeros after "0.": every decimal of at most 15 significant digits survives
//   the trip through binary64 and back, so no other one reads as the same
//   value, and its own digits are the shortest round-trip digits.
bool canonical_as_spelled(const PlainSpelling& n) {
  const std::size_t int_len = static_cast<std::size_t>(n.int_end - n.int_begin);
  if (!n.decimal) return int_len <= (n.negative ? 18u : 19u) && !(n.negative && *n.int_begin == '0');
  const std::size_t frac_len = static_cast<std::size_t>(n.frac_end - n.frac_begin);
  if (n.frac_end[-1] != '0') {
    if (*n.int_begin != '0') return int_len + frac_len <= 15;
    std::size_t zeros = 0;
    while (zeros < frac_len && n.frac_begin[zeros] == '0') ++zeros;
    return zeros <= 4 && frac_len - zeros <= 15;
  }
  return frac_len == 1 && int_len <= 15;
}

}  // namespace

std::size_t Reader::canonical_spelling_length() const {
  PlainSpelling n;
  if (!scan_plain(text_.data() + pos_, text_.data() + text_.size(), n) || !canonical_as_spelled(n))
    return 0;
  return static_cast<std::size_t>(n.end() - n.begin);
}

// The common numbers straight from their spelling, without a binary value:
// those canonical as spelled are copied, and other decimals without exponent
// of at most 15 significant digits are rewritten from their digits. Anything
// else, malformed text included, returns false with nothing consumed or
// written, and goes the general way.
bool Reader::canonical_plain_number(std::string& out) {
  PlainSpelling n;
  if (!scan_plain(text_.data() + pos_, text_.data() + text_.size(), n)) return false;
  if (canonical_as_spelled(n)) {
    out.append(n.begin, n.end());
    pos_ += static_cast<std::size_t>(n.end() - n.begin);
    return true;
  }
  if (!n.decimal) return false;

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
  if (count == 0) {
    out += n.negative ? "-0.0" : "0.0";
  } else {
    append_float_digits(out, n.negative, digits, count, static_cast<int>(e));
  }
  pos_ += static_cast<std::size_t>(n.frac_end - n.begin);
  return true;
}

ReadStatus Reader::read_canonical(int depth, std::string& out) {
  int c = peek_ws();
  switch (c) {
    case -1: return fail(syntax_peek_error(msg::kEofValue));
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
      return fail(syntax_peek_error(msg::kExpectedValue));
  }
}

namespace {

// Pieces large enough to keep a sink's calls rare, small enough to stay in
// the cache between being written here and read by the sink.
constexpr std::size_t kPiece = 256 * 1024;

}  // namespace

ReadStatus Reader::stream_canonical(int depth, TextSink& sink) {
  std::string buffer;
  if (peek_ws() == '[') {
    // As read_canonical does, with the text passed on between elements.
    buffer.reserve(kPiece + kPiece / 4);
    LANTOR_TRY(open(depth));
    LANTOR_TRY(canonical_array(depth + 1, buffer, &sink));
  } else {
    LANTOR_TRY(read_canonical(depth, buffer));
  }
  sink.write(buffer);
  return Ok{};
}

ReadStatus Reader::canonical_array(int depth, std::string& out, TextSink* sink) {
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
    if (sink != nullptr && out.size() >= kPiece) {
      sink->write(out);
      out.clear();
    }
  }
  LANTOR_TRY(end_array());
  out += ']';
  return Ok{};
}

namespace {

// Copies a short piece without a library call; longer ones go to memcpy.
void copy_bytes(char* d, const char* s, std::size_t n) {
  if (n >= 8 && n <= 16) {
    std::uint64_t a, b;
    std::memcpy(&a, s, 8);
    std::memcpy(&b, s + n - 8, 8);
    std::memcpy(d, &a, 8);
    std::memcpy(d + n - 8, &b, 8);
  } else if (n >= 4 && n < 8) {
    std::uint32_t a, b;
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + n - 4, 4);
    std::memcpy(d, &a, 4);
    std::memcpy(d + n - 4, &b, 4);
  } else if (n < 4) {
    for (std::size_t i = 0; i < n; ++i) d[i] = s[i];
  } else {
    std::memcpy(d, s, n);
  }
}

}  // namespace

bool Reader::CanonKey::matches(std::string_view input, std::size_t pos) const {
  if (text.empty() || input.size() - pos < text.size()) return false;
  const char* p = input.data() + pos;
  if (mask != 0 && input.size() - pos >= 8) {
    // One masked comparison of a word for the usual short names.
    std::uint64_t got;
    std::memcpy(&got, p, 8);
    return ((got ^ word) & mask) == 0;
  }
  return std::memcmp(p, text.data(), text.size()) == 0;
}

ReadStatus Reader::canonical_member_value(int depth, CanonLevel& level, CanonMember& m) {
  // A number spelled canonically is not copied here: the member points at it
  // in the input.
  const int c = peek_ws();
  if (c == '-' || (c >= '0' && c <= '9')) {
    if (std::size_t len = canonical_spelling_length()) {
      m.in_text = true;
      m.begin = pos_;
      m.size = len;
      pos_ += len;
      return Ok{};
    }
  }
  m.in_text = false;
  m.begin = level.values.size();
  LANTOR_TRY(read_canonical(depth, level.values));
  m.size = level.values.size() - m.begin;
  return Ok{};
}

ReadStatus Reader::canonical_object(int depth, std::string& out) {
  // The values are read first, each into the level's own buffer (or left in
  // the input where they stand), and written to `out` in name order once the
  // object is complete. Each level has its own lists so that nested objects
  // do not disturb them.
  if (canon_levels_.empty()) canon_levels_.resize(kMaxDepth + 2);
  CanonLevel& level = canon_levels_[static_cast<std::size_t>(depth)];
  std::vector<CanonMember>& members = level.members;
  CanonLayout& layout = level.layout;
  level.values.clear();
  std::size_t count = 0;
  // Members from the start whose names were recognised as the kept layout's
  // spelled the plain way, without reading them.
  std::size_t matched = 0;
  bool first = true;
  for (;;) {
    if (count == members.size()) members.emplace_back();
    CanonMember& m = members[count];
    // `"name":` right here, or `,"name":` after the first member: what
    // next_key and colon would read without fail, as the same name.
    if (matched == count && count < layout.keys.size() && layout.keys[count].matches(text_, pos_)) {
      pos_ += layout.keys[count].text.size();
      first = false;
      ++matched;
    } else {
      ReadResult<bool> more = next_key(first, m.name);
      LANTOR_TRY(more);
      if (!*more) break;
      LANTOR_TRY(colon());
    }
    LANTOR_TRY(canonical_member_value(depth, level, m));
    ++count;
  }
  LANTOR_TRY(end_object());

  bool same = layout.valid && layout.names.size() == count;
  for (std::size_t i = matched; same && i < count; ++i) same = layout.names[i] == members[i].name;
  if (!same) {
    for (std::size_t i = 0; i < matched; ++i) members[i].name = layout.names[i];
    plan_layout(level, count);
  }

  std::size_t total = 2;
  for (const auto& [index, key] : layout.writes) total += key.size() + members[index].size;
  const std::size_t at = out.size();
  out.resize(at + total);
  char* d = out.data() + at;
  *d++ = '{';
  for (const auto& [index, key] : layout.writes) {
    copy_bytes(d, key.data(), key.size());
    d += key.size();
    const CanonMember& m = members[index];
    copy_bytes(d, (m.in_text ? text_.data() : level.values.data()) + m.begin, m.size);
    d += m.size;
  }
  *d = '}';
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
    CanonKey& key = layout.keys[i];
    key.text.clear();
    if (plain) {
      if (i > 0) key.text += ',';
      key.text += '"';
      key.text += name;
      key.text += "\":";
    }
    key.word = 0;
    key.mask = 0;
    if (!key.text.empty() && key.text.size() <= 8) {
      std::memcpy(&key.word, key.text.data(), key.text.size());
      key.mask = key.text.size() == 8 ? ~0ULL : (1ULL << (8 * key.text.size())) - 1;
    }
  }
  layout.valid = true;
}

}  // namespace lantor::json
