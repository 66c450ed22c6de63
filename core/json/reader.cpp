// The reader's structure: whitespace, literals, containers, whole values,
// and where an error is placed.
#include "core/json/reader.h"

#include <algorithm>

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
    if (pos_ >= text_.size()) return fail(error(msg::kEofValue));
    char got = text_[pos_++];
    if (got != expected) return fail(error(msg::kExpectedIdent));
  }
  return Ok{};
}

ReadStatus Reader::open(int depth) {
  if (depth + 1 > kMaxDepth) return fail(peek_error(msg::kRecursionLimit));
  bump();
  return Ok{};
}

ReadResult<bool> Reader::next_key(bool& first, std::string& name) {
  int c = peek_ws();
  if (c == '}') return false;
  if (c == ',' && !first) {
    bump();
    c = peek_ws();
  } else if (c >= 0) {
    if (!first) return fail(peek_error(msg::kExpectedObjectCommaOrEnd));
    first = false;
  } else {
    return fail(peek_error(msg::kEofObject));
  }
  if (c == '"') {
    LANTOR_TRY(read_string(name));
    return true;
  }
  if (c == '}') return fail(peek_error(msg::kTrailingComma));
  if (c < 0) return fail(peek_error(msg::kEofValue));
  return fail(peek_error(msg::kKeyMustBeString));
}

ReadStatus Reader::colon() {
  int c = peek_ws();
  if (c == ':') {
    bump();
    return Ok{};
  }
  if (c < 0) return fail(peek_error(msg::kEofObject));
  return fail(peek_error(msg::kExpectedColon));
}

ReadResult<bool> Reader::next_element(bool& first) {
  int c = peek_ws();
  if (c == ']') return false;
  if (c == ',' && !first) {
    bump();
    c = peek_ws();
  } else if (c >= 0) {
    if (!first) return fail(peek_error(msg::kExpectedListCommaOrEnd));
    first = false;
  } else {
    return fail(peek_error(msg::kEofList));
  }
  if (c == ']') return fail(peek_error(msg::kTrailingComma));
  if (c < 0) return fail(peek_error(msg::kEofValue));
  return true;
}

ReadStatus Reader::end_object() {
  int c = peek_ws();
  if (c == '}') {
    bump();
    return Ok{};
  }
  if (c == ',') return fail(peek_error(msg::kTrailingComma));
  if (c < 0) return fail(peek_error(msg::kEofObject));
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
    if (peek_ws() == ']') return fail(peek_error(msg::kTrailingComma));
    return fail(peek_error(msg::kTrailingCharacters));
  }
  if (c < 0) return fail(peek_error(msg::kEofList));
  return fail(peek_error(msg::kTrailingCharacters));
}

ReadStatus Reader::finish() {
  if (peek_ws() >= 0) return fail(peek_error(msg::kTrailingCharacters));
  return Ok{};
}

ReadResult<Value> Reader::read_value(int depth) {
  int c = peek_ws();
  switch (c) {
    case -1: return fail(peek_error(msg::kEofValue));
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
      std::string s;
      LANTOR_TRY(read_string(s));
      return Value::string(std::move(s));
    }
    case '[':
      LANTOR_TRY(open(depth));
      return read_array(depth + 1);
    case '{':
      LANTOR_TRY(open(depth));
      return read_object(depth + 1);
    default:
      if (c == '-' || (c >= '0' && c <= '9')) return read_number();
      return fail(peek_error(msg::kExpectedValue));
  }
}

ReadResult<Value> Reader::read_array(int depth) {
  Array items;
  bool first = true;
  for (;;) {
    ReadResult<bool> more = next_element(first);
    LANTOR_TRY(more);
    if (!*more) break;
    ReadResult<Value> item = read_value(depth);
    LANTOR_TRY(item);
    items.push_back(std::move(item).value());
  }
  LANTOR_TRY(end_array());
  return Value::array(std::move(items));
}

namespace {

// Past this many members, an object checks repeated names through its own
// index instead of scanning the members read so far.
constexpr std::size_t kScanLimit = 16;

bool same_name(const std::string& a, const std::string& b) {
  return a.size() == b.size() && (a.empty() || (a[0] == b[0] && a == b));
}

}  // namespace

ReadResult<Value> Reader::read_object(int depth) {
  if (member_scratch_.empty()) member_scratch_.resize(kMaxDepth + 2);
  std::vector<Member>& scratch = member_scratch_[static_cast<std::size_t>(depth)];
  scratch.clear();
  Object object;
  bool wide = false;  // members go straight into `object` with its index
  bool first = true;
  std::string wide_name;
  for (;;) {
    // The name is read in place, into the slot its member will take.
    std::string& name = wide ? wide_name : scratch.emplace_back().name;
    ReadResult<bool> more = next_key(first, name);
    if (!more || !*more) {
      if (!wide) scratch.pop_back();
      LANTOR_TRY(more);
      break;
    }
    LANTOR_TRY(colon());
    ReadResult<Value> value = read_value(depth);
    LANTOR_TRY(value);
    // A repeated name keeps its first place and takes the last value.
    if (wide) {
      object.set(std::move(name), std::move(value).value());
      continue;
    }
    Member* same = nullptr;
    for (std::size_t i = 0; i + 1 < scratch.size(); ++i) {
      if (same_name(scratch[i].name, name)) {
        same = &scratch[i];
        break;
      }
    }
    if (same != nullptr) {
      same->value = std::move(value).value();
      scratch.pop_back();
      continue;
    }
    scratch.back().value = std::move(value).value();
    if (scratch.size() >= kScanLimit) {
      wide = true;
      object.reserve(scratch.size() * 2);
      for (Member& m : scratch) object.push_unique(std::move(m.name), std::move(m.value));
      scratch.clear();
    }
  }
  LANTOR_TRY(end_object());
  if (!wide) {
    object.reserve(scratch.size());
    for (Member& m : scratch) object.push_unique(std::move(m.name), std::move(m.value));
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
    case -1: return peek_error(msg::kEofValue);
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        ReadResult<Value> v = read_number();
        if (!v) return std::move(v).error();
        return error(invalid_type(describe(*v), expected));
      }
      return peek_error(msg::kExpectedValue);
  }
}

}  // namespace lantor::json
