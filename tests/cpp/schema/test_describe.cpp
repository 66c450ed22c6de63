// The message pieces every schema reader shares.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/json/tape_reader.h"
#include "core/schema/describe.h"

namespace lantor::schema {
namespace {

TEST(Describe, EachKind) {
  const std::pair<const char*, const char*> cases[] = {
      {"null", "null"},
      {"true", "boolean `true`"},
      {"false", "boolean `false`"},
      {"5", "integer `5`"},
      {"-1", "integer `-1`"},
      {"-9223372036854775808", "integer `-9223372036854775808`"},
      {"1.0", "floating point `1.0`"},
      {"1e20", "floating point `1e+20`"},
      {"-0", "floating point `-0.0`"},
      {R"("x\u0009")", "string \"x\\t\""},
      {"[1]", "sequence"},
      {"{}", "map"},
  };
  for (const auto& [text, description] : cases) {
    json::Reader r(text);
    json::Tape tape;
    ASSERT_TRUE(json::read_tape(r, 0, tape).ok()) << text;
    EXPECT_EQ(describe(tape.root()), description) << text;
  }
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
      {"\xc3\x84rger", "\"\xc3\x84rger\""},          // printable non-ASCII stays
      {"e\xcc\x81", "\"e\\u{301}\""},                // a combining mark is escaped
      {"\xc2\xa0", "\"\\u{a0}\""},                   // a space other than U+0020
      {"\xe2\x80\x8b", "\"\\u{200b}\""},             // a format character
      {"\xe2\x80\xa8", "\"\\u{2028}\""},             // the line separator
      {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},  // an emoji is printable
      {"\xee\x80\x80", "\"\\u{e000}\""},             // private use
      {"\xff", "\"\\x{ff}\""},                       // not UTF-8 at all
  };
  for (const auto& c : cases) EXPECT_EQ(schema::quoted(c.in), c.out) << c.out;
}

TEST(VariantList, OneTwoMany) {
  constexpr Variant one[] = {{"a", ""}};
  constexpr Variant two[] = {{"csv", ""}, {"inline", ""}};
  constexpr Variant three[] = {{"wasm", ""}, {"binary", ""}, {"no_std", ""}};
  EXPECT_EQ(variant_list(one), "`a`");
  EXPECT_EQ(variant_list(two), "`csv` or `inline`");
  EXPECT_EQ(variant_list(three), "one of `wasm`, `binary`, `no_std`");
}

TEST(MessageForms, SpellingsAndKinds) {
  constexpr Variant two[] = {{"a", ""}, {"b", ""}};
  const std::tuple<Fault, ErrorKind, const char*> cases[] = {
      {missing_field("spec"), ErrorKind::MissingField, "missing field `spec`"},
      {duplicate_field("kind"), ErrorKind::DuplicateField, "duplicate field `kind`"},
      {unknown_variant("arm", two), ErrorKind::UnknownVariant, "unknown variant `arm`, expected `a` or `b`"},
      {invalid_type("map", "a sequence"), ErrorKind::InvalidType, "invalid type: map, expected a sequence"},
      {invalid_value(describe_int(-1), "u32"), ErrorKind::InvalidValue,
       "invalid value: integer `-1`, expected u32"},
      {invalid_length(0, "struct CompileSpec with 5 elements"), ErrorKind::InvalidLength,
       "invalid length 0, expected struct CompileSpec with 5 elements"},
  };
  for (const auto& [fault, kind, text] : cases) {
    EXPECT_EQ(fault.message, text);
    EXPECT_EQ(fault.kind, kind) << text;
    // Only an unknown variant keeps the variants its name is none of.
    EXPECT_EQ(fault.variants.data(), kind == ErrorKind::UnknownVariant ? two : nullptr) << text;
  }
}

}  // namespace
}  // namespace lantor::schema
