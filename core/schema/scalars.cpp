#include "core/schema/scalars.h"

#include <string>

#include "core/json/canonical.h"

namespace lantor::schema {

using json::Kind;

json::ReadResult<std::string> take_string(TextValue v) {
  std::string s;
  LANTOR_TRY(v.reader->read_string(s));
  return s;
}

json::ReadResult<bool> take_bool(TextValue v) {
  const bool truth = v.reader->peek_ws() == 't';
  LANTOR_TRY(v.reader->read_literal(truth ? "true" : "false"));
  return truth;
}

Error not_u32(json::Node v) {
  constexpr std::string_view kExpected = kU32Type.name;
  switch (v.kind()) {
    case Kind::UInt:
      return wanting(error_at(v, invalid_value(describe_uint(v.as_uint()), kExpected)), kExpected);
    case Kind::NegInt:
      return wanting(error_at(v, invalid_value(describe_int(v.as_negint()), kExpected)), kExpected);
    default: return wanting(unexpected(v, kExpected), kExpected);
  }
}

Error not_f64(json::Node v) { return wanting(unexpected(v, kF64Type.name), kF64Type.name); }

}  // namespace lantor::schema

namespace lantor::schema {

bool write_string(const std::string& s, json::Writer& out) {
  out.string(s);
  return true;
}

bool write_bool(const bool& b, json::Writer& out) {
  out.boolean(b);
  return true;
}

bool write_u32(const std::uint32_t& u, json::Writer& out) {
  out.uint(u);
  return true;
}

bool write_f64(const double& d, json::Writer& out) {
  std::string text;
  json::append_float(text, d);
  out.raw(text);
  return true;
}

}  // namespace lantor::schema
