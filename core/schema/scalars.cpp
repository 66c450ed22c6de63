#include "core/schema/scalars.h"

#include <limits>

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

Result<std::uint32_t, Error> read_u32(json::Node v) {
  constexpr std::string_view kExpected = "u32";
  switch (v.kind()) {
    case Kind::UInt:
      if (v.as_uint() > std::numeric_limits<std::uint32_t>::max())
        return fail(error_at(v, invalid_value(describe_uint(v.as_uint()), kExpected)));
      return static_cast<std::uint32_t>(v.as_uint());
    case Kind::NegInt: return fail(error_at(v, invalid_value(describe_int(v.as_negint()), kExpected)));
    default: return fail(unexpected(v, kExpected));
  }
}

Result<std::optional<std::uint32_t>, Error> read_opt_u32(json::Node v) {
  if (v.is_null()) return std::optional<std::uint32_t>();
  LANTOR_ASSIGN_OR_RETURN(const std::uint32_t n, read_u32(v));
  return std::optional<std::uint32_t>(n);
}

Result<double, Error> read_f64(json::Node v) {
  if (!v.is_number()) return fail(unexpected(v, "f64"));
  return v.to_double();
}

Result<std::optional<double>, Error> read_opt_f64(json::Node v) {
  if (v.is_null()) return std::optional<double>();
  LANTOR_ASSIGN_OR_RETURN(const double d, read_f64(v));
  return std::optional<double>(d);
}

}  // namespace lantor::schema
