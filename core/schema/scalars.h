// Readers for plain values: strings, booleans, counts (u32) and floats
// (f64). Each returns the value or the message for the value found. Strings
// and booleans are read from either source; counts and floats only from a
// tape, as only the strategy holds them.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "core/json/writer.h"
#include "core/schema/source.h"
#include "core/schema/value_reader.h"

namespace lantor::schema {

// The primitives the readers below use, for each source.
inline bool is_string(json::Node v) { return v.is_string(); }
inline bool is_bool(json::Node v) { return v.is_bool(); }
inline Result<std::string, Error> take_string(json::Node v) { return std::string(v.as_string()); }
// A string only looked at: the tape's own bytes.
inline Result<std::string_view, Error> take_name(json::Node v) { return v.as_string(); }
inline Result<bool, Error> take_bool(json::Node v) { return v.as_bool(); }

inline bool is_string(TextValue v) { return v.reader->peek_ws() == '"'; }
inline bool is_bool(TextValue v) {
  const int c = v.reader->peek_ws();
  return c == 't' || c == 'f';
}
json::ReadResult<std::string> take_string(TextValue v);
inline json::ReadResult<std::string> take_name(TextValue v) { return take_string(v); }
json::ReadResult<bool> take_bool(TextValue v);

// A JSON string, else "invalid type: ..., expected a string".
template <class In>
ResultOf<In, std::string> read_string(In v) {
  if (is_string(v)) return take_string(v);
  return fail(unexpected(v, "a string"));
}

// The same into `out`, which takes the string's bytes.
inline Status<Error> read_string_into(json::Node v, std::string& out) {
  if (!v.is_string()) return fail(unexpected(v, "a string"));
  out.assign(v.as_string());
  return Ok{};
}

// true or false, else "invalid type: ..., expected a boolean".
template <class In>
ResultOf<In, bool> read_bool(In v) {
  if (is_bool(v)) return take_bool(v);
  return fail(unexpected(v, "a boolean"));
}

// The failures of read_u32 and read_f64, out of the way of their success.
[[gnu::cold]] Error not_u32(json::Node v);
[[gnu::cold]] Error not_f64(json::Node v);

// A JSON integer from 0 to 4294967295. An integer out of that range is an
// invalid value; anything else, a whole number written with a fraction or an
// exponent included, is an invalid type.
inline Result<std::uint32_t, Error> read_u32(json::Node v) {
  if (v.kind() == json::Kind::UInt && v.as_uint() <= std::numeric_limits<std::uint32_t>::max())
    return static_cast<std::uint32_t>(v.as_uint());
  return fail(not_u32(v));
}

// Any JSON number, integers converted to the nearest binary64.
inline Result<double, Error> read_f64(json::Node v) {
  if (!v.is_number()) return fail(not_f64(v));
  return v.to_double();
}

// ---- The scalar types, described -----------------------------------------

// A scalar type as listing.h names it, the JSON type it takes (as JSON Schema
// names them; none for "any"), and for integers the largest one (the
// smallest is 0).
struct ScalarType {
  std::string_view name;
  std::string_view json_type;
  std::uint64_t maximum = 0;
};

inline constexpr ScalarType kStringType = {"string", "string"};
inline constexpr ScalarType kBoolType = {"bool", "boolean"};
inline constexpr ScalarType kU32Type = {"u32", "integer", std::numeric_limits<std::uint32_t>::max()};
inline constexpr ScalarType kF64Type = {"f64", "number"};
inline constexpr ScalarType kAnyType = {"any", ""};
inline constexpr ScalarType kScalarTypes[] = {kStringType, kBoolType, kU32Type, kF64Type, kAnyType};

bool write_string(const std::string& s, json::Writer& out);
bool write_bool(const bool& b, json::Writer& out);
bool write_u32(const std::uint32_t& u, json::Writer& out);
bool write_f64(const double& d, json::Writer& out);

namespace value {
inline constexpr ValueReader<std::string> kString = {kStringType.name, &read_string<json::Node>,
                                                     &write_string, &read_string_into};
inline constexpr ValueReader<bool> kBool = {kBoolType.name, &read_bool<json::Node>, &write_bool};
// The same two, read from the command text.
inline constexpr ValueReader<std::string, TextValue> kTextString = {kStringType.name, &read_string<TextValue>,
                                                                    &write_string};
inline constexpr ValueReader<bool, TextValue> kTextBool = {kBoolType.name, &read_bool<TextValue>,
                                                           &write_bool};
inline constexpr ValueReader<std::uint32_t> kU32 = {kU32Type.name, &read_u32, &write_u32};
inline constexpr ValueReader<double> kF64 = {kF64Type.name, &read_f64, &write_f64};
}  // namespace value

}  // namespace lantor::schema
