// The reader's structure: whitespace, literals, containers, whole values,
// and where an error is placed.
#include "core/json/reader.h"

#include <algorithm>
#include <iterator>

#include "core/json/describe.h"

namespace lantor::json {

TextPosition position_of(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  std::string_view before = text.substr(0, offset);
  std::size_t last_lf = before.rfind('\n');
  std::size_t line_start = last_lf == std::string_view::npos ? 0 : last_lf + 1;
  std::size_t lines = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  return {1 + lines, offset - line_start};
}

std::string positioned(std::string_view text, const ReadError& error) {
  TextPosition p = position_of(text, error.offset);
  std::string out = error.message;
  out += " at line ";
  out += std::to_string(p.line);
  out += " column ";
  out += std::to_string(p.column);
  return out;
}

ReadStatus Reader::read_ident(std::string_view rest) {
  for (char expected : rest) {
    if (pos_ >= text_.size()) return fail(syntax_error(msg::kEofValue));
    char got = text_[pos_++];
    if (got != expected) return fail(syntax_error(msg::kExpectedIdent));
  }
  return Ok{};
}

ReadStatus Reader::open(int depth) {
  if (depth + 1 > kMaxDepth) return fail(peek_error(msg::kRecursionLimit));
  bump();
  return Ok{};
}

ReadResult<bool> Reader::next_key(bool& first, std::string& name) {
  ReadResult<bool> at_name = key_start(first);
  if (at_name.ok() && *at_name) LANTOR_TRY(read_string(name));
  return at_name;
}

ReadResult<bool> Reader::next_key_view(bool& first, std::string& scratch, std::string_view& name) {
  ReadResult<bool> at_name = key_start(first);
  if (at_name.ok() && *at_name) {
    ReadResult<std::string_view> read = read_string_view(scratch);
    LANTOR_TRY(read);
    name = *read;
  }
  return at_name;
}

ReadResult<bool> Reader::key_start(bool& first) {
  int c = peek_ws();
  if (c == '}') return false;
  if (c == ',' && !first) {
    bump();
    c = peek_ws();
  } else if (c >= 0) {
    if (!first) return fail(syntax_peek_error(msg::kExpectedObjectCommaOrEnd));
    first = false;
  } else {
    return fail(syntax_peek_error(msg::kEofObject));
  }
  if (c == '"') return true;
  if (c == '}') return fail(syntax_peek_error(msg::kTrailingComma));
  if (c < 0) return fail(syntax_peek_error(msg::kEofValue));
  return fail(syntax_peek_error(msg::kKeyMustBeString));
}

ReadStatus Reader::colon() {
  int c = peek_ws();
  if (c == ':') {
    bump();
    return Ok{};
  }
  if (c < 0) return fail(syntax_peek_error(msg::kEofObject));
  return fail(syntax_peek_error(msg::kExpectedColon));
}

ReadResult<bool> Reader::next_element(bool& first) {
  int c = peek_ws();
  if (c == ']') return false;
  if (c == ',' && !first) {
    bump();
    c = peek_ws();
  } else if (c >= 0) {
    if (!first) return fail(syntax_peek_error(msg::kExpectedListCommaOrEnd));
    first = false;
  } else {
    return fail(syntax_peek_error(msg::kEofList));
  }
  if (c == ']') return fail(syntax_peek_error(msg::kTrailingComma));
  if (c < 0) return fail(syntax_peek_error(msg::kEofValue));
  return true;
}

ReadStatus Reader::end_object() {
  int c = peek_ws();
  if (c == '}') {
    bump();
    return Ok{};
  }
  if (c == ',') return fail(peek_error(msg::kTrailingComma));
  if (c < 0) return fail(syntax_peek_error(msg::kEofObject));
  return fail(peek_error(msg::kTrailingCharacters));
}

ReadStatus Reader::end_array() {
  int c = peek_ws();
  if (c == ']') {
    bump();
    return Ok{};
  }
  if (c == ',') {
    // A comma after the last wanted element: a closing bracket right after
    // it is a trailing comma, anything else an element too many.
    bump();
    if (peek_ws() == ']') return fail(syntax_peek_error(msg::kTrailingComma));
    return fail(peek_error(msg::kTrailingCharacters));
  }
  if (c < 0) return fail(syntax_peek_error(msg::kEofList));
  return fail(peek_error(msg::kTrailingCharacters));
}

ReadStatus Reader::finish() {
  if (peek_ws() >= 0) return fail(syntax_peek_error(msg::kTrailingCharacters));
  return Ok{};
}

ReadResult<Value> Reader::read_value(int depth) {
  int c = peek_ws();
  switch (c) {
    case -1: return fail(syntax_peek_error(msg::kEofValue));
    case 'n':
      bump();
      LANTOR_TRY(read_ident("ull"));
      return Value();
    case 't':
      bump();
      LANTOR_TRY(read_ident("rue"));
      return Value::boolean(true);
    case 'f':
      bump();
      LANTOR_TRY(read_ident("alse"));
      return Value::boolean(false);
    case '"': {
      // Read in place, into the string the value will hold.
      Value v = Value::string(std::string());
      LANTOR_TRY(read_string(v.as_string()));
      return v;
    }
    case '[':
      LANTOR_TRY(open(depth));
      return read_array(depth + 1);
    case '{':
      LANTOR_TRY(open(depth));
      return read_object(depth + 1);
    default:
      if (c == '-' || (c >= '0' && c <= '9')) return read_number();
      return fail(syntax_peek_error(msg::kExpectedValue));
  }
}

ReadResult<Value> Reader::read_array(int depth) {
  const std::size_t level = static_cast<std::size_t>(depth);
  // As in read_object: sized once, so a deeper level never moves this one.
  if (scratch_->elements.size() <= level) scratch_->elements.resize(kMaxDepth + 2);
  if (level > deepest_) deepest_ = level;
  Array& scratch = scratch_->elements[level];
  scratch.clear();
  bool first = true;
  for (;;) {
    ReadResult<bool> more = next_element(first);
    LANTOR_TRY(more);
    if (!*more) break;
    ReadResult<Value> item = read_value(depth);
    LANTOR_TRY(item);
    scratch.push_back(std::move(item).value());
  }
  LANTOR_TRY(end_array());
  const std::size_t count = scratch.size();
  if (scratch.capacity() - count <= count / 4) {
    // As in read_object: a close fit is handed over whole.
    Value array = Value::array(std::move(scratch));
    scratch = Array();
    scratch.reserve(count);
    return array;
  }
  Array items(std::make_move_iterator(scratch.begin()), std::make_move_iterator(scratch.end()));
  scratch.clear();
  return Value::array(std::move(items));
}

namespace {

// Past this many members, an object finds repeated names through a hash
// table instead of scanning the members read so far.
constexpr std::size_t kScanLimit = 16;
// Scratch kept for the next command stays below this many members a level.
constexpr std::size_t kKeptMembers = 1024;

thread_local ObjectScratch thread_scratch;

bool same_name(const std::string& a, const std::string& b) {
  return a.size() == b.size() && (a.empty() || (a[0] == b[0] && a == b));
}

std::size_t name_hash(const std::string& name) { return std::hash<std::string_view>{}(name); }

// Open addressing over `members`: each slot holds a member's index plus one,
// or 0. Sized to a power of two at least twice the member count.
void rebuild_table(ObjectScratch& scratch, const MemberList& members, std::size_t count) {
  ++scratch.generation;
  std::vector<std::uint32_t>& table = scratch.table;
  std::size_t size = 64;
  while (size < 2 * (count + 1)) size *= 2;
  table.assign(size, 0);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t slot = name_hash(members[i].name) & (size - 1);
    while (table[slot] != 0) slot = (slot + 1) & (size - 1);
    table[slot] = static_cast<std::uint32_t>(i + 1);
  }
}

}  // namespace

Reader::Reader(std::string_view text) : text_(text), scratch_(&own_scratch_) {
  if (!thread_scratch.lent) {
    thread_scratch.lent = true;
    scratch_ = &thread_scratch;
  }
}

Reader::~Reader() {
  if (scratch_ != &thread_scratch) return;
  // A very wide object leaves a large buffer behind; it is not kept.
  for (std::size_t i = 0; i <= deepest_ && i < scratch_->members.size(); ++i) {
    MemberList& level = scratch_->members[i];
    level.clear();
    if (level.capacity() > kKeptMembers) MemberList().swap(level);
  }
  for (std::size_t i = 0; i <= deepest_ && i < scratch_->elements.size(); ++i) {
    Array& level = scratch_->elements[i];
    level.clear();
    if (level.capacity() > kKeptMembers) Array().swap(level);
  }
  if (scratch_->table.size() > 4 * kKeptMembers) std::vector<std::uint32_t>().swap(scratch_->table);
  scratch_->lent = false;
}

ReadResult<Value> Reader::read_object(int depth) {
  const std::size_t level = static_cast<std::size_t>(depth);
  // Sized once for every level, so that the per-level lists never move while
  // shallower levels are still being read.
  if (scratch_->members.size() <= level) scratch_->members.resize(kMaxDepth + 2);
  if (level > deepest_) deepest_ = level;
  MemberList& scratch = scratch_->members[level];
  scratch.clear();
  // Members of a wide object are found through the table, which serves one
  // object at a time: a wide object nested in a value takes it over, and
  // this one rebuilds it afterwards (the generation tells).
  bool wide = false;
  std::uint64_t generation = 0;
  bool first = true;
  for (;;) {
    // The name is read in place, into the slot its member will take.
    std::string& name = scratch.emplace_back().name;
    ReadResult<bool> more = next_key(first, name);
    if (!more.ok() || !*more) {
      scratch.pop_back();
      LANTOR_TRY(more);
      break;
    }
    // The colon usually follows the name at once; colon() handles the rest
    // and every failure.
    if (pos_ < text_.size() && text_[pos_] == ':')
      bump();
    else
      LANTOR_TRY(colon());
    ReadResult<Value> value = read_value(depth);
    LANTOR_TRY(value);
    // A repeated name keeps its first place and takes the last value.
    const std::size_t count = scratch.size() - 1;  // members before this one
    Member* same = nullptr;
    if (!wide) {
      for (std::size_t i = 0; i < count; ++i) {
        if (same_name(scratch[i].name, name)) {
          same = &scratch[i];
          break;
        }
      }
    } else {
      std::vector<std::uint32_t>& table = scratch_->table;
      if (scratch_->generation != generation || 2 * (count + 1) > table.size()) {
        rebuild_table(*scratch_, scratch, count);
        generation = scratch_->generation;
      }
      const std::size_t mask = table.size() - 1;
      std::size_t slot = name_hash(name) & mask;
      while (table[slot] != 0) {
        Member& m = scratch[table[slot] - 1];
        if (same_name(m.name, name)) {
          same = &m;
          break;
        }
        slot = (slot + 1) & mask;
      }
      if (same == nullptr) table[slot] = static_cast<std::uint32_t>(count + 1);
    }
    if (same != nullptr) {
      same->value = std::move(value).value();
      scratch.pop_back();
      continue;
    }
    scratch.back().value = std::move(value).value();
    if (!wide && scratch.size() >= kScanLimit) {
      wide = true;
      rebuild_table(*scratch_, scratch, scratch.size());
      generation = scratch_->generation;
    }
  }
  LANTOR_TRY(end_object());
  Object object;
  const std::size_t count = scratch.size();
  if (scratch.capacity() - count <= count / 4) {
    // The list fits the object closely: the object takes it over whole, and
    // the level starts again with room for as many members, which the next
    // object there (in a dataset, the next row) usually needs.
    object.assign_unique(std::move(scratch));
    scratch = MemberList();
    scratch.reserve(count);
  } else {
    object.assign_unique(MemberList(std::make_move_iterator(scratch.begin()),
                                             std::make_move_iterator(scratch.end())));
    scratch.clear();
  }
  return Value::object(std::move(object));
}

ReadError Reader::unexpected(std::string_view expected) {
  int c = peek();
  switch (c) {
    case 'n':
      bump();
      if (ReadStatus s = read_ident("ull"); !s) return std::move(s).error();
      return error(invalid_type(kDescribeNull, expected));
    case 't':
      bump();
      if (ReadStatus s = read_ident("rue"); !s) return std::move(s).error();
      return error(invalid_type(describe_bool(true), expected));
    case 'f':
      bump();
      if (ReadStatus s = read_ident("alse"); !s) return std::move(s).error();
      return error(invalid_type(describe_bool(false), expected));
    case '"': {
      std::string s;
      if (ReadStatus st = read_string(s); !st) return std::move(st).error();
      return error(invalid_type(describe_string(s), expected));
    }
    case '[': return error(invalid_type(kDescribeArray, expected));
    case '{': return error(invalid_type(kDescribeObject, expected));
    case -1: return syntax_peek_error(msg::kEofValue);
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        ReadResult<Value> v = read_number();
        if (!v) return std::move(v).error();
        return error(invalid_type(describe(*v), expected));
      }
      return syntax_peek_error(msg::kExpectedValue);
  }
}

}  // namespace lantor::json
