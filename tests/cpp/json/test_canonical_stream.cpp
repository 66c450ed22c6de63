// The dataset streamer against the reference reader and writer: the same
// canonical text for every accepted value, and the same message and offset
// for every rejected one.
#include <gtest/gtest.h>

#include <string>

#include "core/json/canonical_stream.h"
#include "core/json/number.h"
#include "core/json/reader.h"
#include "tests/support/json_reference.h"

namespace lantor::json {
namespace {

struct Outcome {
  bool ok;
  std::string text;  // canonical text, or the error message
  std::size_t offset;
};

Outcome through_tree(std::string_view text, int depth) {
  Reader r(text);
  ReadResult<Value> v = read_value(r, depth);
  if (!v.ok()) return {false, v.error().message, v.error().offset};
  return {true, canonical_json(*v), r.offset()};
}

Outcome direct(std::string_view text, int depth) {
  Reader r(text);
  std::string out = "prefix";
  ReadStatus s = CanonicalStreamer(r).read(depth, out);
  if (!s.ok()) return {false, s.error().message, s.error().offset};
  EXPECT_EQ(out.substr(0, 6), "prefix") << text;
  return {true, out.substr(6), r.offset()};
}

void expect_same(std::string_view text, int depth = 0) {
  Outcome a = through_tree(text, depth);
  Outcome b = direct(text, depth);
  EXPECT_EQ(a.ok, b.ok) << text;
  EXPECT_EQ(a.text, b.text) << text;
  EXPECT_EQ(a.offset, b.offset) << text;
}

TEST(CanonicalStream, WritesTheCanonicalText) {
  Reader r(R"( {"b":1,"a":[{"d":null,"c":true}],"é":-0,"z":1E2,"a":"x\/\u00e9\t"} )");
  std::string out;
  ASSERT_TRUE(CanonicalStreamer(r).read(0, out).ok());
  EXPECT_EQ(out, "{\"a\":\"x/\xC3\xA9\\t\",\"b\":1,\"z\":100.0,\"\xC3\xA9\":-0.0}");
}

TEST(CanonicalStream, RepeatedNamesKeepTheLastValue) {
  Reader r(R"({"a":1,"b":{"y":1,"x":2,"y":3},"a":2,"a":[3]})");
  std::string out;
  ASSERT_TRUE(CanonicalStreamer(r).read(0, out).ok());
  EXPECT_EQ(out, R"({"a":[3],"b":{"x":2,"y":3}})");
}

TEST(CanonicalStream, MatchesTheTreeOnAcceptedValues) {
  for (const char* text : {
           "null",
           "true",
           "false",
           "0",
           "-0",
           "18446744073709551615",
           "18446744073709551616",
           "-9223372036854775808",
           "-9223372036854775809",
           "0.1",
           "1.50",
           "1e16",
           "5e-324",
           "0.30000000000000004",
           "\"\"",
           R"("a\"b\\c\u0001\ud83d\ude00")",
           "[]",
           "{}",
           "[[],[{}],{\"a\":[]}]",
           R"([{"t":1700000000000,"o":42000.5,"h":42010.25,"l":41990.0,"c":42001.75,"v":12.345}])",
           R"({"":1,"B":2,"_":3,"a":4,"aa":5})",
           R"({"aa":1,"a":2,"":3})",
           " [ 1 , { \"b\" : 2 , \"a\" : 1 } ] ",
           R"({"k":{"k":{"k":{"b":0,"a":1}}}})",
           R"([{"a":1,"a":2,"b":3,"a":4,"c":5,"b":6}])",
           // Numbers whose canonical text comes from their spelling, and
           // their neighbours that take the general way.
           "42000.50",
           "-41990.0",
           "0.000012345",
           "0.00001",
           "0.000001",
           "-0.0",
           "-0.000",
           "0.0",
           "123456789012345.0",
           "100000000000000.5",
           "0.1234567890123456",
           "0.123456789012345",
           "1000000000000000.0",
           "10000000000000000.0",
           "9999999999999999999",
           "10000000000000000000",
           "-999999999999999999",
           "-9223372036854775808",
           "-0",
           "0",
           "123.4560000000000000000000000000000000",
           "0.30000000000000004",
           "1.5e3",
           "1.5E+3",
           "-12.25e-2",
           "7.0",
           "700.0",
           "0.7",
           "0.0000000000000000000000000000000000000000000000000000000000000000000000000000000001",
           "[1.0,2.50,-3.125,4]",
           // Objects in a row whose names repeat, change order, count or
           // spelling, or repeat inside one object: the layout kept from
           // the previous object must be used only when it still applies.
           R"([{"b":1,"a":2},{"b":3,"a":4},{"a":5,"b":6},{"b":7,"c":8},{"b":1,"b":2},)"
           R"({"b":3,"a":4,"b":5},{"b":1,"a":2},{"b":1},{"b":1,"a":2,"c":3},{"b":1,"a":2},)"
           R"({"\u0062":1,"a":2},{"b\n":1,"a":2},{},{"b":1,"a":2}])",
           // Names recognised by their spelling: spaced, escaped, extended,
           // shortened or changed part-way, and names that need escapes.
           R"([{"t":1,"o":2},{"t":3, "o":4},{"t":5,"o" :6},{ "t":7,"o":8},{"t":9,"ox":1},)"
           R"({"tx":1,"o":2},{"t":1,"o":2,"t":3},{"t":1,"o":2},{"t":1},{"\u0074":1,"o":2},)"
           R"({"a\"b":1,"c\\d":2},{"a\"b":3,"c\\d":4},{"t":{"o":1},"o":{"o":2}},{"t":1,"o":2}])",
           R"([{"\u00e9":1,"z":2},{"é":3,"z":4},{"é":5,"z":6,"":7}])",
           R"([{"x":{"b":1,"a":2},"w":[{"b":1,"a":2},{"a":1}]},{"x":{"a":1,"b":2},"w":[]},)"
           R"({"w":{"b":{"d":1,"c":2}},"x":1},{"x":{"b":1,"a":2},"w":[{"b":1,"a":2},{"a":1}]}])",
       })
    expect_same(text);
}

TEST(CanonicalStream, MatchesTheTreeOnRejectedValues) {
  for (const char* text : {
           "",
           " ",
           "[",
           "[1",
           "[1,",
           "[1,]",
           "[1 2]",
           "{",
           "{\"a\"",
           "{\"a\":",
           "{\"a\":1,}",
           "{\"a\" 1}",
           "{1:2}",
           "{\"a\":1 \"b\":2}",
           "nul",
           "tru",
           "fals",
           "nulx",
           "-",
           "01",
           "1.",
           "1e",
           "1e+",
           "-a",
           "\"abc",
           "\"\\x\"",
           "\"\\ud800\"",
           "\"\\u12\"",
           "\"a\x01\"",
           "[\"\\ud83d\\u0041\"]",
           "x",
           "[1,2]]",
           "{\"a\":[1,{\"b\":tru}]}",
           "1e400",
           "-1e400",
           "[{\"a\":1},{\"b\":[1,2,}]",
           "{\"a\":1,\"a\":}",
           "-.5",
           "1.e5",
           ".5",
           "-01.5",
           "00.5",
           "1.5.5",
           "[1.5x]",
           "1.5e",
           "-",
           "[-]",
           "2.",
           "[0.5,]",
           "[{\"t\":1,\"o\":2},{\"t\":1;\"o\":2}]",
           "[{\"t\":1,\"o\":2},{\"t\";1,\"o\":2}]",
           "[{\"t\":1,\"o\":2},{\"t\":1,\"o\":}]",
           "[{\"t\":1,\"o\":2},{\"t\":1,\"o\"",
       })
    expect_same(text);
}

TEST(CanonicalStream, MatchesTheTreeOnManyDecimals) {
  // Integer and fraction parts of 0 to 20 digits, with runs of zeros, with
  // and without sign: across the 15-digit and 64-bit-range boundaries.
  std::uint64_t state = 12345;
  auto next = [&](std::uint64_t bound) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (state >> 33) % bound;
  };
  auto digits = [&](std::uint64_t count, bool lead) {
    std::string s;
    for (std::uint64_t i = 0; i < count; ++i) {
      char c = static_cast<char>('0' + (next(3) == 0 ? 0 : next(10)));
      if (i == 0 && lead && c == '0') c = '1';
      s += c;
    }
    return s;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string text = next(4) == 0 ? "-" : "";
    std::uint64_t int_len = next(21);
    text += int_len == 0 ? "0" : digits(int_len, true);
    if (next(3) != 0) text += "." + digits(1 + next(20), false);
    expect_same(text);
    // The same as the value of a record that follows another of its layout.
    expect_same("[{\"a\":0},{\"a\":" + text + "}]");
  }
}

TEST(CanonicalStream, LiteralEndsAgreeWithTheScan) {
  // Every literal of up to six bytes over the characters that matter,
  // judged in one pass as the scan and the canonical check judge it.
  const std::string alphabet = "0159.-eE,";
  std::string text;
  for (std::size_t len = 1; len <= 6; ++len) {
    std::size_t combinations = 1;
    for (std::size_t i = 0; i < len; ++i) combinations *= alphabet.size();
    text.resize(len);
    for (std::size_t k = 0; k < combinations; ++k) {
      std::size_t rest = k;
      for (std::size_t i = 0; i < len; ++i, rest /= alphabet.size())
        text[i] = alphabet[rest % alphabet.size()];
      if (text[0] != '-' && (text[0] < '0' || text[0] > '9')) continue;
      const char* end = text.data() + len;
      NumberSpelling spelling;
      const NumberScan scan = scan_number_text(text.data(), end, spelling);
      const bool plain = scan.syntax == NumberSyntax::Ok && canonical_as_spelled(spelling);
      ASSERT_EQ(canonical_literal_end(text.data(), end), plain ? scan.at : nullptr) << text;
    }
  }
}

TEST(CanonicalStream, MatchesTheTreeWhateverByteEndsADigitRun) {
  // Runs of digits are measured eight bytes at a time: every byte value, at
  // every place of the integer and the fraction part, in objects (where
  // canonical numbers are left in the input) and in arrays.
  const std::string number = "12345678901234.567890123";
  for (std::size_t at = 0; at < number.size(); ++at) {
    for (int b = 0; b < 256; ++b) {
      std::string changed = number;
      changed[at] = static_cast<char>(b);
      expect_same("[" + changed + "]");
      expect_same("{\"a\":" + changed + ",\"b\":1}");
      expect_same("[{\"a\":1,\"b\":1},{\"a\":" + changed + ",\"b\":1}]");
      expect_same("{\"a\":" + changed.substr(0, at + 1) + "}");
    }
  }
}

TEST(CanonicalStream, KeepsTheNestingLimit) {
  for (int levels : {kMaxDepth - 1, kMaxDepth, kMaxDepth + 1}) {
    std::string arrays = std::string(static_cast<std::size_t>(levels), '[') +
                         std::string(static_cast<std::size_t>(levels), ']');
    expect_same(arrays);
    expect_same(arrays, 3);
    std::string objects;
    for (int i = 0; i < levels; ++i) objects += "{\"a\":";
    objects += "1" + std::string(static_cast<std::size_t>(levels), '}');
    expect_same(objects);
  }
}

TEST(CanonicalStream, WideObjectsSortAndDropRepeats) {
  std::string text = "{";
  for (int i = 40; i >= 0; --i) text += "\"m" + std::to_string(i % 30) + "\":" + std::to_string(i) + ",";
  text.back() = '}';
  expect_same(text);
}

// Collects what the streamer hands on, and how many pieces it came in.
class Pieces final : public TextSink {
 public:
  void write(std::string_view piece) override {
    text += piece;
    ++count;
  }
  std::string text;
  int count = 0;
};

TEST(CanonicalStream, PiecesMakeTheWholeText) {
  std::string rows = "[";
  for (int i = 0; i < 20000; ++i) {
    if (i) rows += ",";
    rows += R"({"t":)" + std::to_string(1700000000000 + i) + R"(,"o":42000.50,"c":"x\u0041"})";
  }
  rows += "]";
  for (const std::string& text : {rows, std::string("{\"b\":1,\"a\":2}"), std::string("[]")}) {
    Reader r(text);
    Pieces pieces;
    ASSERT_TRUE(CanonicalStreamer(r).stream(0, pieces).ok());
    EXPECT_EQ(pieces.text, canonical_json(*parse_json(text)));
    if (text.size() > 1'000'000) {
      EXPECT_GT(pieces.count, 1);
    }
  }
}

}  // namespace
}  // namespace lantor::json
