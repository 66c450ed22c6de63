#include "core/schema/describe.h"

#include <utility>

#include "core/base/utf8.h"
#include "core/json/canonical.h"
#include "core/schema/unicode.h"

namespace lantor::schema {

using json::append_float;
using json::append_int;
using json::append_uint;
using json::Kind;

std::string describe_bool(bool b) { return b ? "boolean `true`" : "boolean `false`"; }

std::string describe_uint(std::uint64_t u) {
  std::string out = "integer `";
  append_uint(out, u);
  out += '`';
  return out;
}

std::string describe_int(std::int64_t i) {
  std::string out = "integer `";
  append_int(out, i);
  out += '`';
  return out;
}

std::string describe_float(double d) {
  std::string out = "floating point `";
  append_float(out, d);
  out += '`';
  return out;
}

std::string describe_string(std::string_view s) { return "string " + quoted(s); }

std::string describe(json::Node v) {
  switch (v.kind()) {
    case Kind::Null: return std::string(kDescribeNull);
    case Kind::Bool: return describe_bool(v.as_bool());
    case Kind::UInt: return describe_uint(v.as_uint());
    case Kind::NegInt: return describe_int(v.as_negint());
    case Kind::Float: return describe_float(v.as_float());
    case Kind::String: return describe_string(v.as_string());
    case Kind::Array: return std::string(kDescribeArray);
    case Kind::Object: return std::string(kDescribeObject);
  }
  return {};
}

std::string describe(const json::Number& n) {
  switch (n.kind) {
    case Kind::UInt: return describe_uint(n.u);
    case Kind::NegInt: return describe_int(n.i);
    default: return describe_float(n.d);
  }
}

namespace {

void append_hex_escape(std::string& out, char32_t cp, char tag) {
  static constexpr char kHex[] = "0123456789abcdef";
  char buf[8];
  int n = 0;
  do {
    buf[n++] = kHex[cp & 0xF];
    cp >>= 4;
  } while (cp != 0);
  out += '\\';
  out += tag;
  out += '{';
  while (n > 0) out += buf[--n];
  out += '}';
}

}  // namespace

std::string quoted(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out += '"';
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      switch (c) {
        case '"': out += "\\\""; continue;
        case '\\': out += "\\\\"; continue;
        case '\t': out += "\\t"; continue;
        case '\r': out += "\\r"; continue;
        case '\n': out += "\\n"; continue;
        case '\0': out += "\\0"; continue;
        default: break;
      }
      if (c < 0x20 || c == 0x7F)
        append_hex_escape(out, c, 'u');
      else
        out += static_cast<char>(c);
      continue;
    }
    char32_t cp;
    std::size_t len = decode_utf8(s.substr(i), cp);
    if (len == 0) {
      append_hex_escape(out, c, 'x');
      ++i;
      continue;
    }
    if (needs_unicode_escape(cp))
      append_hex_escape(out, cp, 'u');
    else
      out.append(s.substr(i, len));
    i += len;
  }
  out += '"';
  return out;
}

std::string variant_list(std::span<const Variant> variants) {
  const std::size_t count = variants.size();
  std::string out;
  auto tick = [&](std::string_view n) { append_ticked(out, n); };
  if (count == 1) {
    tick(variants[0].name);
  } else if (count == 2) {
    tick(variants[0].name);
    out += " or ";
    tick(variants[1].name);
  } else if (count > 2) {
    out += "one of ";
    for (std::size_t i = 0; i < count; ++i) {
      if (i) out += ", ";
      tick(variants[i].name);
    }
  }
  return out;
}

std::string counted_name(std::string_view name, std::size_t n) {
  std::string out(name);
  out += " with ";
  append_uint(out, n);
  out += n == 1 ? " element" : " elements";
  return out;
}

std::string elements_in_sequence(std::size_t n) {
  std::string out;
  append_uint(out, n);
  out += n == 1 ? " element in sequence" : " elements in sequence";
  return out;
}

void append_ticked(std::string& out, std::string_view name) {
  out += '`';
  out += name;
  out += '`';
}

std::string ticked(std::string_view name) {
  std::string out;
  append_ticked(out, name);
  return out;
}

namespace {

// "{head}{found}, expected {expected}", the form of the mismatch messages.
std::string found_expected(std::string_view head, std::string_view found, std::string_view expected) {
  std::string out(head);
  out += found;
  out += ", expected ";
  out += expected;
  return out;
}

std::string ticked_after(std::string_view head, std::string_view name) {
  std::string out(head);
  append_ticked(out, name);
  return out;
}

}  // namespace

Fault missing_field(std::string_view name) {
  return {ErrorKind::MissingField, ticked_after("missing field ", name)};
}

Fault duplicate_field(std::string_view name) {
  return {ErrorKind::DuplicateField, ticked_after("duplicate field ", name)};
}

Fault unknown_variant(std::string_view name, std::span<const Variant> variants) {
  std::string out = ticked_after("unknown variant ", name);
  out += ", expected ";
  out += variant_list(variants);
  return {ErrorKind::UnknownVariant, std::move(out), variants};
}

Fault invalid_type(std::string_view found, std::string_view expected) {
  return {ErrorKind::InvalidType, found_expected("invalid type: ", found, expected)};
}

Fault invalid_value(std::string_view found, std::string_view expected) {
  return {ErrorKind::InvalidValue, found_expected("invalid value: ", found, expected)};
}

Fault invalid_length(std::size_t len, std::string_view expected) {
  std::string out = "invalid length ";
  append_uint(out, len);
  out += ", expected ";
  out += expected;
  return {ErrorKind::InvalidLength, std::move(out)};
}

std::string tuple_of_size(std::size_t n) {
  std::string out = "a tuple of size ";
  append_uint(out, n);
  return out;
}

}  // namespace lantor::schema
