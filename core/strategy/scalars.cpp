#include "core/strategy/scalars.h"

#include <limits>

#include "core/json/describe.h"

namespace lantor::strategy {

using json::describe;
using json::invalid_type;
using json::invalid_value;
using json::Kind;

Result<std::uint32_t> read_u32(json::Node v) {
  constexpr std::string_view kExpected = "u32";
  switch (v.kind()) {
    case Kind::UInt:
      if (v.as_uint() > std::numeric_limits<std::uint32_t>::max())
        return fail(invalid_value(json::describe_uint(v.as_uint()), kExpected));
      return static_cast<std::uint32_t>(v.as_uint());
    case Kind::NegInt:
      return fail(invalid_value(json::describe_int(v.as_negint()), kExpected));
    default:
      return fail(invalid_type(describe(v), kExpected));
  }
}

Result<double> read_f64(json::Node v) {
  if (!v.is_number()) return fail(invalid_type(describe(v), "f64"));
  return v.to_double();
}

Result<std::optional<double>> read_opt_f64(json::Node v) {
  if (v.is_null()) return std::optional<double>();
  LANTOR_TRY(read_f64(v));
  return std::optional<double>(v.to_double());
}

Result<bool> read_bool(json::Node v) {
  if (!v.is_bool()) return fail(invalid_type(describe(v), "a boolean"));
  return v.as_bool();
}

Result<std::string> read_string(json::Node v) {
  if (!v.is_string()) return fail(invalid_type(describe(v), "a string"));
  return std::string(v.as_string());
}

Result<std::optional<std::string>> read_opt_string(json::Node v) {
  if (v.is_null()) return std::optional<std::string>();
  if (!v.is_string()) return fail(invalid_type(describe(v), "a string"));
  return std::optional<std::string>(std::string(v.as_string()));
}

}  // namespace lantor::strategy
