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

}  // namespace

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
  // has its own list so that nested objects do not disturb it.
  if (canon_members_.empty()) canon_members_.resize(kMaxDepth + 2);
  std::vector<CanonMember>& members = canon_members_[static_cast<std::size_t>(depth)];
  std::size_t count = 0;
  const std::size_t start = out.size();
  bool first = true;
  for (;;) {
    if (count == members.size()) members.emplace_back();
    CanonMember& m = members[count];
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

  // Name order, stable, so that of repeated names the last one read comes
  // last among its equals; it alone is written, as a repeated name keeps
  // only its last value.
  std::vector<std::size_t>& order = canon_order_;
  order.resize(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return members[a].name < members[b].name;
  });
  canon_values_.assign(out, start, std::string::npos);
  out.resize(start);
  out += '{';
  bool written = false;
  for (std::size_t k = 0; k < count; ++k) {
    const CanonMember& m = members[order[k]];
    if (k + 1 < count && members[order[k + 1]].name == m.name) continue;
    if (written) out += ',';
    written = true;
    append_json_string(out, m.name);
    out += ':';
    out.append(canon_values_, m.begin - start, m.end - m.begin);
  }
  out += '}';
  return Ok{};
}

}  // namespace lantor::json
