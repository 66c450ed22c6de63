#include "core/schema/source.h"

namespace lantor::schema {

json::ReadError unexpected(TextValue v, std::string_view expected) {
  json::Reader& r = *v.reader;
  const int c = r.peek_ws();
  auto found = [&](std::string_view description) { return r.error(invalid_type(description, expected)); };
  switch (c) {
    case -1: return r.peek_error(json::msg::kEofValue);
    case 'n':
      if (json::ReadStatus s = r.read_literal("null"); !s.ok()) return std::move(s).error();
      return found(kDescribeNull);
    case 't':
    case 'f':
      if (json::ReadStatus s = r.read_literal(c == 't' ? "true" : "false"); !s.ok()) return std::move(s).error();
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

json::ReadError place_after_object(json::Reader& r, json::ReadError e) {
  if (e.offset == kUnplaced) {
    (void)r.end_object();
    e.offset = r.offset();
  }
  return e;
}

json::ReadError place_after_array(json::Reader& r, json::ReadError e) {
  if (e.offset == kUnplaced) {
    (void)r.end_array();
    e.offset = r.offset();
  }
  return e;
}

}  // namespace lantor::schema
