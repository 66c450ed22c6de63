// Readers for plain values: strings, booleans, counts (u32) and floats
// (f64). Each returns the value or the message for the value found. Strings
// and booleans are read from either source; counts and floats only from a
// tape, as only the strategy holds them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/schema/source.h"

namespace lantor::schema {

// The primitives the readers below use, for each source.
inline bool is_string(json::Node v) { return v.is_string(); }
inline bool is_bool(json::Node v) { return v.is_bool(); }
inline bool is_null(json::Node v) { return v.is_null(); }
inline Result<std::string, Error> take_string(json::Node v) { return std::string(v.as_string()); }
// A string only looked at: the tape's own bytes.
inline Result<std::string_view, Error> take_name(json::Node v) { return v.as_string(); }
inline Result<bool, Error> take_bool(json::Node v) { return v.as_bool(); }
inline Status<Error> take_null(json::Node) { return Ok{}; }

inline bool is_string(TextValue v) { return v.reader->peek_ws() == '"'; }
inline bool is_bool(TextValue v) {
  const int c = v.reader->peek_ws();
  return c == 't' || c == 'f';
}
inline bool is_null(TextValue v) { return v.reader->peek_ws() == 'n'; }
json::ReadResult<std::string> take_string(TextValue v);
inline json::ReadResult<std::string> take_name(TextValue v) { return take_string(v); }
json::ReadResult<bool> take_bool(TextValue v);
inline json::ReadStatus take_null(TextValue v) { return v.reader->read_literal("null"); }

// A JSON string, else "invalid type: ..., expected a string".
template <class In>
ResultOf<In, std::string> read_string(In v) {
  if (is_string(v)) return take_string(v);
  return fail(unexpected(v, "a string"));
}

// Null (none) or a string.
template <class In>
ResultOf<In, std::optional<std::string>> read_opt_string(In v) {
  if (is_null(v)) {
    LANTOR_TRY(take_null(v));
    return std::optional<std::string>();
  }
  LANTOR_ASSIGN_OR_RETURN(std::string s, read_string(v));
  return std::optional<std::string>(std::move(s));
}

// true or false, else "invalid type: ..., expected a boolean".
template <class In>
ResultOf<In, bool> read_bool(In v) {
  if (is_bool(v)) return take_bool(v);
  return fail(unexpected(v, "a boolean"));
}

// A JSON integer from 0 to 4294967295. An integer out of that range is an
// invalid value; anything else, a whole number written with a fraction or an
// exponent included, is an invalid type.
Result<std::uint32_t, Error> read_u32(json::Node v);

// Null (none) or a count.
Result<std::optional<std::uint32_t>, Error> read_opt_u32(json::Node v);

// Any JSON number, integers converted to the nearest binary64.
Result<double, Error> read_f64(json::Node v);

// Null means not set; anything else is read as a float.
Result<std::optional<double>, Error> read_opt_f64(json::Node v);

}  // namespace lantor::schema
