#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "core/json/describe.h"

namespace lantor::json {
namespace {

TEST(Describe, EachKind) {
  struct Case {
    Value value;
    const char* text;
  } cases[] = {
      {Value(), "null"},
      {Value::boolean(true), "boolean `true`"},
      {Value::boolean(false), "boolean `false`"},
      {Value::uint(5), "integer `5`"},
      {Value::negint(-1), "integer `-1`"},
      {Value::negint(std::numeric_limits<std::int64_t>::min()), "integer `-9223372036854775808`"},
      {Value::floating(1.0), "floating point `1.0`"},
      {Value::floating(1e20), "floating point `1e+20`"},
      {Value::floating(-0.0), "floating point `-0.0`"},
      {Value::string("x"), "string \"x\""},
      {Value::array({}), "sequence"},
      {Value::object({}), "map"},
  };
  for (const auto& c : cases) EXPECT_EQ(describe(c.value), c.text);
}

TEST(Quoted, EscapesOnlyWhatIsNotPlainlyVisible) {
  struct Case {
    std::string in;
    const char* out;
  } cases[] = {
      {"", "\"\""},
      {"1000pepe_usdt", "\"1000pepe_usdt\""},
      {"a\"b\\c'", "\"a\\\"b\\\\c'\""},
      {std::string("\t\r\n\0", 4), "\"\\t\\r\\n\\0\""},
      {"\x01\x1b\x7f", "\"\\u{1}\\u{1b}\\u{7f}\""},
      {"\xc3\x84rger", "\"\xc3\x84rger\""},           // printable non-ASCII stays
      {"e\xcc\x81", "\"e\\u{301}\""},                 // a combining mark is escaped
      {"\xc2\xa0", "\"\\u{a0}\""},                    // a space other than U+0020
      {"\xe2\x80\x8b", "\"\\u{200b}\""},              // a format character
      {"\xe2\x80\xa8", "\"\\u{2028}\""},              // the line separator
      {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},   // an emoji is printable
      {"\xee\x80\x80", "\"\\u{e000}\""},              // private use
      {"\xff", "\"\\x{ff}\""},                        // not UTF-8 at all
  };
  for (const auto& c : cases) EXPECT_EQ(json::quoted(c.in), c.out) << c.out;
}

TEST(VariantList, OneTwoMany) {
  EXPECT_EQ(variant_list({"a"}), "`a`");
  EXPECT_EQ(variant_list({"csv", "inline"}), "`csv` or `inline`");
  EXPECT_EQ(variant_list({"wasm", "binary", "no_std"}), "one of `wasm`, `binary`, `no_std`");
}

TEST(MessageForms, Spellings) {
  EXPECT_EQ(missing_field("spec"), "missing field `spec`");
  EXPECT_EQ(duplicate_field("kind"), "duplicate field `kind`");
  EXPECT_EQ(unknown_variant("arm", variant_list({"a", "b"})), "unknown variant `arm`, expected `a` or `b`");
  EXPECT_EQ(invalid_type("map", "a sequence"), "invalid type: map, expected a sequence");
  EXPECT_EQ(invalid_value(describe_int(-1), "u32"), "invalid value: integer `-1`, expected u32");
  EXPECT_EQ(invalid_length(0, "struct CompileSpec with 5 elements"),
            "invalid length 0, expected struct CompileSpec with 5 elements");
}

}  // namespace
}  // namespace lantor::json
