// Message pieces shared by every schema reader: how a value found is
// described, how a list of variant names is written, and the message forms.
// The request readers (over text) and the strategy readers (over tapes)
// both build their messages here, so each form has one spelling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error_kind.h"
#include "core/json/number.h"
#include "core/json/tape.h"

namespace lantor::schema {

// "null", "boolean `true`", "integer `5`", "integer `-1`",
// "floating point `1.0`", "string \"x\"", "sequence", "map".
std::string describe(json::Node n);
std::string describe(const json::Number& n);
std::string describe_bool(bool b);
std::string describe_uint(std::uint64_t u);
std::string describe_int(std::int64_t i);
std::string describe_float(double d);
std::string describe_string(std::string_view s);
inline constexpr std::string_view kDescribeNull = "null";
inline constexpr std::string_view kDescribeArray = "sequence";
inline constexpr std::string_view kDescribeObject = "map";
// The description of a variant without data where data was expected.
inline constexpr std::string_view kDescribeUnitVariant = "unit variant";

// `s` between double quotes with `"` and `\` escaped by a backslash, tab, CR,
// LF and NUL as \t \r \n \0, and other control characters, characters that
// are not printable and combining marks as \u{hex}. Everything else, printable
// non-ASCII and the single quote included, is written unchanged. Invalid UTF-8
// bytes are written as \x{hex}.
std::string quoted(std::string_view s);

// A variant of a choice: its name, and what it carries by type name (see
// listing.h), empty for a variant without data.
struct Variant {
  std::string_view name;
  std::string_view data;
};

// "`a`", "`a` or `b`", "one of `a`, `b`, `c`".
std::string variant_list(std::span<const Variant> variants);

// "{name} with 1 element", "{name} with {n} elements": the expectation of an
// array form that ends before a required member.
std::string counted_name(std::string_view name, std::size_t n);
// "1 element in sequence", "{n} elements in sequence": the expectation of a
// variant's array form that holds more elements than the variant has members.
std::string elements_in_sequence(std::size_t n);
// "a tuple of size {n}": the expectation of a fixed-size array.
std::string tuple_of_size(std::size_t n);

// A name between backticks, as every message writes names: `name`.
void append_ticked(std::string& out, std::string_view name);
std::string ticked(std::string_view name);

// A message with the kind of failure it tells of: each form below makes its
// text and its kind together.
struct Fault {
  ErrorKind kind;
  std::string message;
  // For an unknown variant: the variants that the name is none of.
  std::span<const Variant> variants = {};
};

// The message forms.
Fault missing_field(std::string_view name);                                       // missing field `name`
Fault duplicate_field(std::string_view name);                                     // duplicate field `name`
Fault unknown_variant(std::string_view name, std::span<const Variant> variants);  // ..., expected {list}
Fault invalid_type(std::string_view found, std::string_view expected);
Fault invalid_value(std::string_view found, std::string_view expected);
Fault invalid_length(std::size_t len, std::string_view expected);

}  // namespace lantor::schema
