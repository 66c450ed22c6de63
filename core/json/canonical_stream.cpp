#include "core/json/canonical_stream.h"

#include <cstring>

#include "core/base/short_text.h"
#include "core/json/canonical.h"
#include "core/json/number.h"

namespace lantor::json {
namespace {

// Pieces large enough to keep a sink's calls rare, small enough to stay in
// the cache between being written here and read by the sink.
constexpr std::size_t kPiece = std::size_t{256} * 1024;
// What a text is grown by at first: a value read whole is mostly small.
constexpr std::size_t kFirstRoom = 256;

}  // namespace

ReadStatus CanonicalStreamer::read(int depth, std::string& out) {
  TextBuffer buffer(out, kFirstRoom);
  ReadStatus s = value(depth, buffer);
  buffer.finish();
  return s;
}

ReadStatus CanonicalStreamer::value(int depth, TextBuffer& out) {
  Reader& r = reader_;
  const int c = r.peek_ws();
  switch (c) {
    case -1: return fail(r.syntax_peek_error(msg::kEofValue));
    case 'n':
      LANTOR_TRY(r.read_literal("null"));
      out.put("null");
      return Ok{};
    case 't':
      LANTOR_TRY(r.read_literal("true"));
      out.put("true");
      return Ok{};
    case 'f':
      LANTOR_TRY(r.read_literal("false"));
      out.put("false");
      return Ok{};
    case '"': {
      LANTOR_ASSIGN_OR_RETURN(const std::string_view s, r.read_string_view(decoded_));
      if (s.data() == decoded_.data()) {
        append_json_string(out.suspend(), s);
        out.resume();
      } else {
        // Nothing in it needs escaping: its own bytes, as they were read.
        out.quoted(s);
      }
      return Ok{};
    }
    case '[': LANTOR_TRY(r.open(depth)); return array(depth + 1, out);
    case '{': LANTOR_TRY(r.open(depth)); return object(depth + 1, out);
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        NumberSpelling spelling;
        Number number;
        LANTOR_TRY(r.read_number(spelling, number));
        if (canonical_as_spelled(spelling)) {
          out.put(spelling.begin, static_cast<std::size_t>(spelling.end - spelling.begin));
        } else {
          append_canonical_number(out.suspend(), spelling, number);
          out.resume();
        }
        return Ok{};
      }
      return fail(r.syntax_peek_error(msg::kExpectedValue));
  }
}

ReadStatus CanonicalStreamer::stream(int depth, TextSink& sink) {
  std::string text;
  text.reserve(kPiece + kPiece / 4);
  TextBuffer buffer(text, kPiece + kPiece / 4);
  if (reader_.peek_ws() == '[') {
    // As value() does, with the text passed on between elements.
    LANTOR_TRY(reader_.open(depth));
    LANTOR_TRY(array(depth + 1, buffer, &sink));
  } else {
    LANTOR_TRY(value(depth, buffer));
  }
  sink.write(buffer.view());
  return Ok{};
}

ReadStatus CanonicalStreamer::array(int depth, TextBuffer& out, TextSink* sink) {
  out.put('[');
  bool first = true;
  bool any = false;
  for (;;) {
    LANTOR_ASSIGN_OR_RETURN(const bool more, reader_.next_element(first));
    if (!more) break;
    if (any) out.put(',');
    any = true;
    LANTOR_TRY(value(depth, out));
    if (sink != nullptr && out.size() >= kPiece) {
      sink->write(out.view());
      out.truncate(0);
    }
  }
  LANTOR_TRY(reader_.end_array());
  out.put(']');
  return Ok{};
}

std::size_t CanonicalStreamer::plain_members(Level& level, std::size_t from) {
  // What the general steps would make of these members, without their
  // detours: each name is the kept layout's as matches() sees it, and each
  // value a number that scan_number would take whole and that is already
  // canonical. Anything else stops here, before that member's name, for the
  // general steps to read.
  const Key* const keys = level.layout.keys.data();
  const std::size_t n = level.layout.keys.size();
  Member* const members = level.members.data();
  const std::string_view text = reader_.text();
  const char* const base = text.data();
  const char* const end = base + text.size();
  const char* p = base + reader_.offset();
  std::size_t count = from;
  for (; count < n; ++count) {
    const Key& key = keys[count];
    if (!key.matches(p, end)) break;
    const char* const number = p + key.text.size();
    if (number == end || (*number != '-' && (*number < '0' || *number > '9'))) break;
    const char* const number_end = canonical_literal_end(number, end);
    if (number_end == nullptr) break;
    Member& m = members[count];
    m.in_text = true;
    m.begin = static_cast<std::size_t>(number - base);
    m.size = static_cast<std::size_t>(number_end - number);
    p = number_end;
  }
  reader_.advance(static_cast<std::size_t>(p - base) - reader_.offset());
  return count;
}

ReadStatus CanonicalStreamer::member_value(int depth, Level& level, Member& m) {
  // A number spelled canonically is not copied here: the member points at it
  // in the input.
  Reader& r = reader_;
  const int c = r.peek_ws();
  if (c == '-' || (c >= '0' && c <= '9')) {
    const std::size_t at = r.offset();
    NumberSpelling spelling;
    LANTOR_TRY(r.scan_number(spelling));
    if (canonical_as_spelled(spelling)) {
      m.in_text = true;
      m.begin = at;
      m.size = r.offset() - at;
      return Ok{};
    }
    Number value;
    if (!number_value(spelling, value))
      return fail(r.error(ErrorKind::NumberOutOfRange, msg::kNumberOutOfRange));
    m.in_text = false;
    m.begin = level.values.size();
    append_canonical_number(level.values, spelling, value);
    m.size = level.values.size() - m.begin;
    return Ok{};
  }
  m.in_text = false;
  m.begin = level.values.size();
  LANTOR_TRY(read(depth, level.values));
  m.size = level.values.size() - m.begin;
  return Ok{};
}

ReadStatus CanonicalStreamer::object(int depth, TextBuffer& out) {
  // The values are read first, each into the level's own buffer (or left in
  // the input where they stand), and written to `out` in name order once the
  // object is complete. Each level has its own lists so that nested objects
  // do not disturb them.
  Reader& r = reader_;
  if (levels_.empty()) levels_.resize(kMaxDepth + 2);
  Level& level = levels_[static_cast<std::size_t>(depth)];
  std::vector<Member>& members = level.members;
  Layout& layout = level.layout;
  level.values.clear();
  const std::size_t start = r.offset() - 1;
  // Members from the start whose names were recognised as the kept layout's
  // spelled the plain way, without reading them.
  std::size_t matched = plain_members(level, 0);
  std::size_t count = matched;
  // The usual record of a dataset: the layout's members, all plain.
  const bool plain = count == layout.keys.size() && r.peek() == '}';
  if (plain) {
    r.bump();
  } else {
    bool first = count == 0;
    const char* const end = r.text().data() + r.text().size();
    for (;;) {
      if (count == members.size()) members.emplace_back();
      Member& m = members[count];
      // `"name":` right here, or `,"name":` after the first member: what
      // next_key and colon would read without fail, as the same name.
      if (matched == count && count < layout.keys.size() &&
          layout.keys[count].matches(r.text().data() + r.offset(), end)) {
        r.advance(layout.keys[count].text.size());
        first = false;
        ++matched;
      } else {
        LANTOR_ASSIGN_OR_RETURN(const bool more, r.next_key(first, m.name));
        if (!more) break;
        LANTOR_TRY(r.colon());
      }
      LANTOR_TRY(member_value(depth, level, m));
      ++count;
      if (matched == count) count = matched = plain_members(level, count);
    }
    LANTOR_TRY(r.end_object());
  }

  bool same = layout.valid && layout.names.size() == count;
  for (std::size_t i = matched; same && i < count; ++i) same = layout.names[i] == members[i].name;
  if (!same) {
    for (std::size_t i = 0; i < matched; ++i) members[i].name = layout.names[i];
    plan_layout(level, count);
  }

  std::size_t total = 2;
  if (plain && layout.writes.size() == count) {
    // The same names and values, only reordered: as long as the record.
    total = r.offset() - start;
  } else {
    for (const auto& [index, key] : layout.writes) total += key.size() + members[index].size;
  }
  char* d = out.extend(total);
  *d++ = '{';
  for (const auto& [index, key] : layout.writes) {
    copy_text(d, key.data(), key.size());
    d += key.size();
    const Member& m = members[index];
    copy_text(d, (m.in_text ? r.text().data() : level.values.data()) + m.begin, m.size);
    d += m.size;
  }
  *d = '}';
  return Ok{};
}

void CanonicalStreamer::plan_layout(Level& level, std::size_t count) {
  const std::vector<Member>& members = level.members;
  // Name order, stable, so that of repeated names the last one read comes
  // last among its equals; it alone is written, as a repeated name keeps
  // only its last value.
  std::vector<std::size_t>& order = order_;
  order.resize(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = i;
  sort_by_name(
      order.data(), count, [&](std::size_t i) { return std::string_view(members[i].name); },
      [](std::size_t i) { return i; });
  Layout& layout = level.layout;
  layout.writes.clear();
  for (std::size_t k = 0; k < count; ++k) {
    const Member& m = members[order[k]];
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
    Key& key = layout.keys[i];
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
