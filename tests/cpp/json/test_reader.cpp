// The reader's own texts, positions, number kinds and nesting limit, through
// parse_json.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/json/parse.h"
#include "core/json/reader.h"

namespace lantor::json {
namespace {

struct SyntaxCase {
  std::string text;
  std::string error;
};

class ReaderErrors : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(ReaderErrors, ReportTextAndPosition) {
  Result<Value> r = parse_json(GetParam().text);
  ASSERT_FALSE(r.ok()) << GetParam().text;
  EXPECT_EQ(r.error(), GetParam().error) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReaderErrors,
    ::testing::Values(
        SyntaxCase{"[1,2", "EOF while parsing a list at line 1 column 4"},
        SyntaxCase{"[", "EOF while parsing a list at line 1 column 1"},
        SyntaxCase{R"({"a":1)", "EOF while parsing an object at line 1 column 6"},
        SyntaxCase{R"({"a")", "EOF while parsing an object at line 1 column 4"},
        SyntaxCase{R"(["ab)", "EOF while parsing a string at line 1 column 4"},
        SyntaxCase{"", "EOF while parsing a value at line 1 column 0"},
        SyntaxCase{"[1,", "EOF while parsing a value at line 1 column 3"},
        SyntaxCase{R"({"a":)", "EOF while parsing a value at line 1 column 5"},
        SyntaxCase{"tr", "EOF while parsing a value at line 1 column 2"},
        SyntaxCase{"1.", "EOF while parsing a value at line 1 column 2"},
        SyntaxCase{"1e", "EOF while parsing a value at line 1 column 2"},
        SyntaxCase{"-", "EOF while parsing a value at line 1 column 1"},
        SyntaxCase{R"({"a" 1})", "expected `:` at line 1 column 6"},
        SyntaxCase{"[1 2]", "expected `,` or `]` at line 1 column 4"},
        SyntaxCase{R"({"a":1 "b":2})", "expected `,` or `}` at line 1 column 8"},
        SyntaxCase{"trux", "expected ident at line 1 column 4"},
        SyntaxCase{"nul", "EOF while parsing a value at line 1 column 3"},
        SyntaxCase{"[x]", "expected value at line 1 column 2"},
        SyntaxCase{"[,1]", "expected value at line 1 column 2"},
        SyntaxCase{R"(["\x"])", "invalid escape at line 1 column 4"},
        SyntaxCase{R"(["\u12G4"])", "invalid escape at line 1 column 8"},
        SyntaxCase{"01", "invalid number at line 1 column 2"},
        SyntaxCase{"-x", "invalid number at line 1 column 2"},
        SyntaxCase{"1.x", "invalid number at line 1 column 3"},
        SyntaxCase{"1e+x", "invalid number at line 1 column 4"},
        SyntaxCase{"[1e400]", "number out of range at line 1 column 6"},
        SyntaxCase{"-1e400", "number out of range at line 1 column 6"},
        SyntaxCase{"[\"a\x01\"]", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4"},
        SyntaxCase{"{1:2}", "key must be a string at line 1 column 2"},
        SyntaxCase{R"(["\udc00"])", "lone leading surrogate in hex escape at line 1 column 8"},
        SyntaxCase{R"(["\ud800\u0041"])", "lone leading surrogate in hex escape at line 1 column 14"},
        SyntaxCase{R"(["\ud800x"])", "unexpected end of hex escape at line 1 column 9"},
        SyntaxCase{R"(["\ud800\n"])", "unexpected end of hex escape at line 1 column 10"},
        SyntaxCase{"[1,]", "trailing comma at line 1 column 4"},
        SyntaxCase{R"({"a":1,})", "trailing comma at line 1 column 8"},
        SyntaxCase{"[1] x", "trailing characters at line 1 column 5"},
        SyntaxCase{"1 2", "trailing characters at line 1 column 3"},
        // Raw bytes that are not UTF-8 inside a string.
        SyntaxCase{"[\"a\xff\"]", "invalid unicode code point at line 1 column 4"},
        SyntaxCase{"[\"\xed\xa0\x80\"]", "invalid unicode code point at line 1 column 3"},
        SyntaxCase{"\"\xc3", "invalid unicode code point at line 1 column 2"},
        // Truncated escapes at the end of the text.
        SyntaxCase{R"("\)", "EOF while parsing a string at line 1 column 2"},
        SyntaxCase{R"("\u12)", "EOF while parsing a string at line 1 column 5"},
        SyntaxCase{R"("\ud800)", "EOF while parsing a string at line 1 column 7"},
        SyntaxCase{R"("\ud800\)", "EOF while parsing a string at line 1 column 8"},
        SyntaxCase{R"("\ud800\u)", "EOF while parsing a string at line 1 column 9"},
        SyntaxCase{R"("\ud800\udc)", "EOF while parsing a string at line 1 column 11"},
        // Lines and columns.
        SyntaxCase{"[\n1,\n  x]", "expected value at line 3 column 3"},
        SyntaxCase{"[1,\n]", "trailing comma at line 2 column 1"},
        SyntaxCase{"\n\n", "EOF while parsing a value at line 3 column 0"}));

TEST(Reader, NumberKinds) {
  struct {
    const char* text;
    Value value;
  } cases[] = {
      {"0", Value::uint(0)},
      {"18446744073709551615", Value::uint(18446744073709551615ull)},
      {"18446744073709551616", Value::floating(18446744073709551616.0)},
      {"-1", Value::negint(-1)},
      {"-9223372036854775808", Value::negint(INT64_MIN)},
      {"-9223372036854775809", Value::floating(-9223372036854775808.0)},
      {"-0", Value::floating(-0.0)},
      {"-0.0", Value::floating(-0.0)},
      {"1.5", Value::floating(1.5)},
      {"1E2", Value::floating(100.0)},
      {"1e-400", Value::floating(0.0)},
      {"-1e-400", Value::floating(-0.0)},
      {"0.1", Value::floating(0.1)},
      // Halfway between 1 and the next binary64: ties to even.
      {"1.00000000000000011102230246251565404236316680908203125", Value::floating(1.0)},
      {"2.2250738585072011e-308", Value::floating(2.225073858507201e-308)},
      {"1.7976931348623157e308", Value::floating(1.7976931348623157e308)},
  };
  for (const auto& c : cases) {
    Result<Value> r = parse_json(c.text);
    ASSERT_TRUE(r.ok()) << c.text << ": " << r.error();
    EXPECT_TRUE(*r == c.value) << c.text;
  }
}

TEST(Reader, TenThousandDigitNumbers) {
  std::string digits(10'000, '7');
  std::string zeros(10'000, '0');
  struct {
    std::string text;
    bool ok;
    double value;
  } cases[] = {
      {digits, false, 0},                          // integer part: out of range
      {"0." + digits, true, 0.7777777777777778},   // fraction
      {"1" + zeros + "e-10000", true, 1.0},        // integer part with exponent
      {"0." + zeros + "1e10001", true, 1.0},       // fraction with exponent
      {"1e" + digits, false, 0},                   // exponent: out of range
      {"1e-" + digits, true, 0.0},                 // exponent: underflow
      {"0e" + digits, true, 0.0},
      {"-" + std::string(300, '9'), true, -1e300},
  };
  for (const auto& c : cases) {
    Result<Value> r = parse_json(c.text);
    ASSERT_EQ(r.ok(), c.ok) << c.text.substr(0, 20);
    if (!c.ok) {
      EXPECT_EQ(r.error().rfind("number out of range at line 1 column ", 0), 0u);
      continue;
    }
    ASSERT_EQ(r->kind(), Kind::Float);
    EXPECT_DOUBLE_EQ(r->as_float(), c.value) << c.text.substr(0, 20);
  }
}

TEST(Reader, RepeatedNamesKeepFirstPlaceAndLastValue) {
  Result<Value> r = parse_json(R"({"a":1,"b":2,"a":3})");
  ASSERT_TRUE(r.ok());
  const Object& o = r->as_object();
  ASSERT_EQ(o.size(), 2u);
  EXPECT_EQ(o[0].name, "a");
  EXPECT_TRUE(o[0].value == Value::uint(3));
  EXPECT_EQ(o[1].name, "b");
}

TEST(Reader, DecodesEscapes) {
  Result<Value> r = parse_json(R"("a\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00")");
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->as_string(), "a\"\\/\b\f\n\r\t\xc3\xa9\xf0\x9f\x98\x80");
}

TEST(Reader, NestingLimit) {
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(parse_json(nested(kMaxDepth)).ok());
  EXPECT_EQ(parse_json(nested(kMaxDepth + 1)).error(),
            "recursion limit exceeded at line 1 column 128");
  // Far deeper: still one error, no exhaustion of the stack.
  EXPECT_EQ(parse_json(std::string(1'000'000, '{')).error(), "key must be a string at line 1 column 2");
  EXPECT_EQ(parse_json(std::string(1'000'000, '[')).error(),
            "recursion limit exceeded at line 1 column 128");
}

TEST(Reader, SkipValueMatchesReadingForSyntax) {
  const char* texts[] = {"[1,]", "{\"a\" 1}", "[1 2]", "{\"a\":1,}", "{1:1}", "[\"\\q\"]",
                         "tru", "[01]", "[-]", "[", "{", "{\"a\":", "[\"\\u12\"]", "{\"a\":1 2}"};
  for (const char* t : texts) {
    Reader skip(t);
    ReadStatus s = skip.skip_value();
    Result<Value> read = parse_json(t);
    ASSERT_FALSE(s.ok()) << t;
    ASSERT_FALSE(read.ok()) << t;
    EXPECT_EQ(positioned(t, s.error()), read.error()) << t;
  }
}

}  // namespace
}  // namespace lantor::json
