// The canonical text: the float spelling, the string escaping, and the
// member order at every depth, as the tape reader writes them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/json/canonical.h"
#include "core/json/tape_reader.h"

namespace lantor::json {
namespace {

// The canonical text the tape reader keeps for `text`.
std::string canonical_of(std::string_view text) {
  Reader r(text);
  Tape tape;
  EXPECT_TRUE(read_tape(r, 0, tape).ok()) << text;
  return tape.canonical_text();
}

std::string float_text(double d) {
  std::string out;
  append_float(out, d);
  return out;
}

struct FloatCase {
  double value;
  const char* text;
};

TEST(CanonicalFloat, Layout) {
  const FloatCase cases[] = {
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {1.0, "1.0"},
      {100.0, "100.0"},
      {1.5, "1.5"},
      {12.5, "12.5"},
      {-12.5, "-12.5"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"},
      {0.001, "0.001"},
      {1e-5, "0.00001"},
      {1.25e-5, "0.0000125"},
      {1e-6, "1e-6"},
      {1.25e-7, "1.25e-7"},
      {1e15, "1000000000000000.0"},
      {1.5e15, "1500000000000000.0"},
      {123456789012345.6, "123456789012345.6"},
      {1e16, "1e+16"},
      {1e20, "1e+20"},
      {1.5e300, "1.5e+300"},
      {18446744073709551616.0, "1.8446744073709552e+19"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {-2.5e-300, "-2.5e-300"},
      {42000.5, "42000.5"},
      {9007199254740993.0, "9007199254740992.0"},
  };
  for (const auto& c : cases) EXPECT_EQ(float_text(c.value), c.text) << c.text;
}

TEST(CanonicalFloat, NotFinite) {
  EXPECT_EQ(float_text(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(float_text(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(float_text(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(CanonicalFloat, RoundTrips) {
  // The positional and exponent spellings must both read back to the same double.
  for (double d : {3.141592653589793, 2.718281828459045e-7, 6.02214076e23, 1e-5 * 3, 9.999999999999999e15}) {
    std::string text = float_text(d);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), d) << text;
  }
}

TEST(CanonicalString, Escapes) {
  struct Case {
    std::string in;
    const char* out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"q\"b\\", "\"q\\\"b\\\\\""},
      {"\b\t\n\f\r", "\"\\b\\t\\n\\f\\r\""},
      {std::string("\x01\x1f\0", 3), "\"\\u0001\\u001f\\u0000\""},
      {"/\x7f\xc3\xa9", "\"/\x7f\xc3\xa9\""},
  };
  for (const auto& c : cases) {
    std::string out;
    append_json_string(out, c.in);
    EXPECT_EQ(out, c.out);
  }
}

// Strings are written eight bytes at a time while no byte needs escaping: a
// byte that does must be escaped wherever it falls in a word.
TEST(CanonicalString, EscapesAtEachPlace) {
  const std::pair<std::string, std::string> cases[] = {{"\"", "\\\""},   {"\\", "\\\\"},
                                                       {"\n", "\\n"},    {"\x1f", "\\u001f"},
                                                       {"\x7f", "\x7f"}, {"\xC3\xA9", "\xC3\xA9"}};
  for (const auto& [raw, written] : cases) {
    for (std::size_t len = 1; len < 30; ++len) {
      for (std::size_t at = 0; at < len; ++at) {
        std::string in;
        std::string expected = "\"";
        for (std::size_t i = 0; i < len; ++i) {
          if (i == at) {
            in += raw;
            expected += written;
          } else {
            in += static_cast<char>('a' + i % 26);
            expected += static_cast<char>('a' + i % 26);
          }
        }
        expected += '"';
        std::string out = "x";
        append_json_string(out, in);
        EXPECT_EQ(out, "x" + expected) << len << " " << at;
      }
    }
  }
}

TEST(CanonicalString, CleanStringsOfEveryLength) {
  for (std::size_t len = 0; len < 40; ++len) {
    std::string in(len, 'q');
    std::string out;
    append_json_string(out, in);
    EXPECT_EQ(out, "\"" + in + "\"");
  }
}

TEST(Canonical, SortsNamesByBytesAtEveryDepth) {
  EXPECT_EQ(canonical_of(R"({"b":1,"a":[{"d":null,"c":true}]})"), R"({"a":[{"c":true,"d":null}],"b":1})");
  EXPECT_EQ(canonical_of("{\"a\":1,\"B\":2,\"_\":3,\"aa\":4,\"\":5,\"\xc3\xa9\":6,\"z\":7}"),
            "{\"\":5,\"B\":2,\"_\":3,\"a\":1,\"aa\":4,\"z\":7,\"\xc3\xa9\":6}");
}

TEST(Canonical, LargeObjectsSortToo) {
  std::string text = "{";
  for (int i = 40; i > 0; --i)
    text += (i == 40 ? "\"k" : ",\"k") + std::to_string(i) + "\":" + std::to_string(i);
  const std::string canonical = canonical_of(text + "}");
  EXPECT_EQ(canonical.substr(0, 16), "{\"k1\":1,\"k10\":10");
  EXPECT_TRUE(canonical.ends_with(",\"k9\":9}")) << canonical;
}

TEST(Canonical, ScalarsAndEmpties) {
  const std::pair<const char*, const char*> cases[] = {
      {"null", "null"},
      {"false", "false"},
      {"0", "0"},
      {"18446744073709551615", "18446744073709551615"},
      {"-9223372036854775808", "-9223372036854775808"},
      {"9007199254740993", "9007199254740993"},
      {"[]", "[]"},
      {"{}", "{}"},
      {" [ 1.50 , -0 , 1E2, \"\\u00e9\\/\\t\\u0001\" ] ", "[1.5,-0.0,100.0,\"\xc3\xa9/\\t\\u0001\"]"},
  };
  for (const auto& [text, canonical] : cases) EXPECT_EQ(canonical_of(text), canonical) << text;
}

}  // namespace
}  // namespace lantor::json
