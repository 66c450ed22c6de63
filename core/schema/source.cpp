#include "core/schema/source.h"

namespace lantor::schema {

json::ReadError unexpected(TextValue v, std::string_view expected) {
  json::Reader& r = *v.reader;
  const int c = r.peek_ws();
  auto found = [&](std::string_view description) {
    Fault fault = invalid_type(description, expected);
    return r.error(fault.kind, fault.message);
  };
  switch (c) {
    case -1: return r.peek_error(ErrorKind::Syntax, json::msg::kEofValue);
    case 'n':
      if (json::ReadStatus s = r.read_literal("null"); !s.ok()) return std::move(s).error();
      return found(kDescribeNull);
    case 't':
    case 'f':
      if (json::ReadStatus s = r.read_literal(c == 't' ? "true" : "false"); !s.ok())
        return std::move(s).error();
      return found(describe_bool(c == 't'));
    case '"': {
      std::string s;
      if (json::ReadStatus st = r.read_string(s); !st.ok()) return std::move(st).error();
      return found(describe_string(s));
    }
    case '[': return found(kDescribeArray);
    case '{': return found(kDescribeObject);
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        json::NumberSpelling spelling;
        json::Number n;
        if (json::ReadStatus st = r.read_number(spelling, n); !st.ok()) return std::move(st).error();
        return found(describe(n));
      }
      return r.syntax_peek_error(json::msg::kExpectedValue);
  }
}

// The reader stands where the error arose: just past a repeated member's
// name, or past a tagged choice whose set-aside members failed. When the
// enclosing object or array closes next, the error goes past its closing
// brace or bracket; otherwise it stays where it arose, not past the
// whitespace or the separator the failed close looked at.
json::ReadError unexpected_name(TextValue v, std::string_view expected) {
  // Right after an object's opening brace, a closing brace is an empty
  // object: wrong for the reader that wanted a name, but JSON.
  const bool closes = v.reader->peek_ws() == '}';
  json::ReadError e = unexpected(v, expected);
  if (closes) e.not_json = false;
  return e;
}

json::ReadError place_after_object(json::Reader& r, json::ReadError e) {
  if (e.offset == kUnplaced) {
    const std::size_t arose = r.offset();
    e.offset = r.end_object().ok() ? r.offset() : arose;
  }
  return e;
}

json::ReadError place_after_array(json::Reader& r, json::ReadError e) {
  if (e.offset == kUnplaced) {
    const std::size_t arose = r.offset();
    e.offset = r.end_array().ok() ? r.offset() : arose;
  }
  return e;
}

}  // namespace lantor::schema
