// The tokenizer: the reader's own texts and positions, number kinds, strings
// scanned eight bytes at a time, separators, the nesting limit, and skipping.
// Texts are read whole the way the core reads them, onto a tape.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/json/reader.h"
#include "core/json/tape_reader.h"
#include "tests/support/json_reference.h"

namespace lantor::json {
namespace {

// The error of reading `text` as one value and nothing after it, with its
// position; empty when it reads.
std::string read_error(std::string_view text) {
  Reader r(text);
  Tape tape;
  ReadStatus s = read_tape(r, 0, tape);
  if (s.ok()) s = r.finish();
  return s.ok() ? std::string() : positioned(text, s.error());
}

struct SyntaxCase {
  std::string text;
  std::string error;
};

class ReaderErrors : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(ReaderErrors, ReportTextAndPosition) {
  EXPECT_EQ(read_error(GetParam().text), GetParam().error) << GetParam().text;
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
        SyntaxCase{"[\"a\x01\"]",
                   "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4"},
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

// The value of a text read onto a tape, as a reference tree.
Value read_whole(std::string_view text) {
  Reader r(text);
  Tape tape;
  EXPECT_TRUE(read_tape(r, 0, tape).ok()) << text;
  return value_from_tape(tape);
}

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
      // Shapes the quick ways read: exact powers of ten, and their edges.
      {"123456789012345.6", Value::floating(123456789012345.6)},
      {"1234567890123456.7", Value::floating(1234567890123456.7)},
      {"4.5e22", Value::floating(4.5e22)},
      {"4.5e23", Value::floating(4.5e23)},
      {"1e-22", Value::floating(1e-22)},
      {"1e-23", Value::floating(1e-23)},
  };
  for (const auto& c : cases) EXPECT_TRUE(read_whole(c.text) == c.value) << c.text;
}

TEST(Reader, TenThousandDigitNumbers) {
  std::string digits(10'000, '7');
  std::string zeros(10'000, '0');
  struct {
    std::string text;
    bool ok;
    double value;
  } cases[] = {
      {digits, false, 0},                         // integer part: out of range
      {"0." + digits, true, 0.7777777777777778},  // fraction
      {"1" + zeros + "e-10000", true, 1.0},       // integer part with exponent
      {"0." + zeros + "1e10001", true, 1.0},      // fraction with exponent
      {"1e" + digits, false, 0},                  // exponent: out of range
      {"1e-" + digits, true, 0.0},                // exponent: underflow
      {"0e" + digits, true, 0.0},
      {"-" + std::string(300, '9'), true, -1e300},
  };
  for (const auto& c : cases) {
    const std::string error = read_error(c.text);
    ASSERT_EQ(error.empty(), c.ok) << c.text.substr(0, 20);
    if (!c.ok) {
      EXPECT_EQ(error.rfind("number out of range at line 1 column ", 0), 0u);
      continue;
    }
    const Value v = read_whole(c.text);
    ASSERT_EQ(v.kind(), Kind::Float);
    EXPECT_DOUBLE_EQ(v.as_float(), c.value) << c.text.substr(0, 20);
  }
}

TEST(Reader, DecodesEscapes) {
  EXPECT_EQ(read_whole(R"("a\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00")").as_string(),
            "a\"\\/\b\f\n\r\t\xc3\xa9\xf0\x9f\x98\x80");
}

TEST(Reader, NestingLimit) {
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_EQ(read_error(nested(kMaxDepth)), "");
  EXPECT_EQ(read_error(nested(kMaxDepth + 1)), "recursion limit exceeded at line 1 column 128");
  // Far deeper: still one error, no exhaustion of the stack.
  EXPECT_EQ(read_error(std::string(1'000'000, '{')), "key must be a string at line 1 column 2");
  EXPECT_EQ(read_error(std::string(1'000'000, '[')), "recursion limit exceeded at line 1 column 128");
}

TEST(Reader, SkipValueMatchesReadingForSyntax) {
  const char* texts[] = {"[1,]", "{\"a\" 1}", "[1 2]", "{\"a\":1,}", "{1:1}",   "[\"\\q\"]",   "tru",
                         "[01]", "[-]",       "[",     "{",          "{\"a\":", "[\"\\u12\"]", "{\"a\":1 2}"};
  for (const char* t : texts) {
    Reader skip(t);
    ReadStatus s = skip.skip_value();
    ASSERT_FALSE(s.ok()) << t;
    EXPECT_EQ(positioned(t, s.error()), read_error(t)) << t;
  }
}

struct ColonCase {
  const char* text;
  bool ok;
  std::string_view message;
  std::size_t offset;
};

// The colon after a member's name: taken at once when it follows the name
// directly, and through the general path after whitespace or on failure,
// with the same results when reading and when skipping.
TEST(Reader, ColonReadAndSkippedAlike) {
  const ColonCase cases[] = {
      {R"({"a":1})", true, "", 7},
      {R"({"a" : 1,"b"	:2})", true, "", 16},
      {R"({"a" 1})", false, msg::kExpectedColon, 6},
      {R"({"a";1})", false, msg::kExpectedColon, 5},
      {R"({"a")", false, msg::kEofObject, 4},
      {R"({"a"  )", false, msg::kEofObject, 6},
      {R"({"a":1,"b"x})", false, msg::kExpectedColon, 11},
  };
  for (const ColonCase& c : cases) {
    Reader read(c.text);
    Tape tape;
    auto v = read_tape(read, 0, tape);
    Reader skip(c.text);
    auto s = skip.skip_value();
    EXPECT_EQ(v.ok(), c.ok) << c.text;
    EXPECT_EQ(s.ok(), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(read.offset(), c.offset) << c.text;
      EXPECT_EQ(skip.offset(), c.offset) << c.text;
    } else {
      ASSERT_FALSE(v.ok());
      ASSERT_FALSE(s.ok());
      EXPECT_EQ(v.error().message, c.message) << c.text;
      EXPECT_EQ(v.error().offset, c.offset) << c.text;
      EXPECT_EQ(s.error().message, c.message) << c.text;
      EXPECT_EQ(s.error().offset, c.offset) << c.text;
    }
  }
}

// Strings are scanned eight bytes at a time: whatever byte ends a run (the
// quote, a backslash, a control, a non-ASCII byte) must be found at its exact
// place whichever position it takes in a word, whether the string is read
// decoded, as a view of the text (the tape reader's way), or skipped.

// `"` + `len` letters with `stop` put at `at` (when at < len) + the tail.
std::string quoted(std::size_t len, std::size_t at, std::string_view stop) {
  std::string s = "\"";
  for (std::size_t i = 0; i < len; ++i) {
    if (i == at)
      s += stop;
    else
      s += static_cast<char>('a' + i % 26);
  }
  s += '"';
  return s;
}

// The three readings of `text` end alike: with `decoded` and the reader past
// the string, or with the error `message` at `offset` (the skip reports
// neither UTF-8 nor escape contents, so it only has to end where they do).
void expect_string(const std::string& text, std::string_view decoded, std::string_view message,
                   std::size_t offset) {
  SCOPED_TRACE(text);
  Reader whole(text);
  std::string out;
  const ReadStatus read = whole.read_string(out);
  Reader view(text);
  std::string scratch;
  const ReadResult<std::string_view> viewed = view.read_string_view(scratch);
  ASSERT_EQ(read.ok(), message.empty());
  ASSERT_EQ(viewed.ok(), message.empty());
  if (message.empty()) {
    EXPECT_EQ(out, decoded);
    EXPECT_EQ(*viewed, decoded);
    EXPECT_EQ(whole.offset(), text.size());
    EXPECT_EQ(view.offset(), text.size());
    Reader skip(text);
    ASSERT_TRUE(skip.skip_value().ok());
    EXPECT_EQ(skip.offset(), text.size());
    return;
  }
  EXPECT_EQ(read.error().message, message);
  EXPECT_EQ(read.error().offset, offset);
  EXPECT_EQ(viewed.error().message, message);
  EXPECT_EQ(viewed.error().offset, offset);
}

TEST(ReaderStrings, EveryLengthWhole) {
  for (std::size_t len = 0; len < 40; ++len) {
    const std::string text = quoted(len, len, "");
    expect_string(text, text.substr(1, len), "", 0);
  }
}

TEST(ReaderStrings, AStopAtEachPlace) {
  for (std::size_t len = 1; len < 30; ++len) {
    for (std::size_t at = 0; at < len; ++at) {
      expect_string(quoted(len, at, "\x01"), "", msg::kControlChar, at + 2);
      expect_string(quoted(len, at, "\xFF"), "", msg::kInvalidCodePoint, at + 2);
      expect_string(quoted(len, at, "\\n"), quoted(len, at, "\n").substr(1, len), "", 0);
      const std::string utf8 = quoted(len, at, "\xC3\xA9");  // é
      expect_string(utf8, utf8.substr(1, utf8.size() - 2), "", 0);
      // The skip finds the control too.
      const std::string control = quoted(len, at, "\x01");
      Reader skip(control);
      const ReadStatus skipped = skip.skip_value();
      ASSERT_FALSE(skipped.ok());
      EXPECT_EQ(skipped.error().offset, at + 2) << len << " " << at;
    }
  }
}

TEST(ReaderStrings, UnterminatedStringsEndAtTheEnd) {
  for (std::size_t len = 0; len < 20; ++len) {
    std::string text = quoted(len, len, "");
    text.pop_back();
    expect_string(text, "", msg::kEofString, text.size());
  }
}

// Skipping keeps its open brackets in place up to a depth and on the heap
// beyond it: brackets must close in order across that boundary.

// Alternating arrays and objects, `depth` levels deep, around a number.
std::string nested(int depth) {
  std::string open;
  std::string close;
  for (int i = 0; i < depth; ++i) {
    if (i % 2 == 0) {
      open += "[1,";
      close = "]" + close;
    } else {
      open += "{\"k\":";
      close = "}" + close;
    }
  }
  return open + "7" + close;
}

TEST(ReaderSkip, ClosesInOrderAtEveryDepth) {
  for (int depth : {1, 63, 64, 65, 66, 200, 1000}) {
    std::string text = nested(depth);
    Reader r(text);
    ASSERT_TRUE(r.skip_value().ok()) << depth;
    EXPECT_EQ(r.offset(), text.size());
  }
}

TEST(ReaderSkip, WrongBracketIsFoundAtEveryDepth) {
  for (int depth : {2, 64, 65, 66, 130}) {
    std::string text = nested(depth);
    // The innermost closing bracket swapped for the other kind.
    std::size_t first_close = text.find_first_of("]}");
    text[first_close] = text[first_close] == ']' ? '}' : ']';
    Reader r(text);
    auto s = r.skip_value();
    ASSERT_FALSE(s.ok()) << depth;
    EXPECT_EQ(s.error().offset, first_close + 1) << depth;
  }
}

}  // namespace
}  // namespace lantor::json
