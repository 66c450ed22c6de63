#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/json/canonical.h"
#include "core/json/value.h"
#include "core/json/writer.h"

namespace lantor::json {
namespace {

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

Value obj(std::initializer_list<std::pair<const char*, Value>> members) {
  Object o;
  for (const auto& [name, value] : members) o.set(name, value);
  return Value::object(std::move(o));
}

TEST(Canonical, SortsNamesByBytesAtEveryDepth) {
  Value inner = obj({{"d", Value()}, {"c", Value::boolean(true)}});
  Value v = obj({{"b", Value::uint(1)}, {"a", Value::array({inner})}});
  EXPECT_EQ(canonical_json(v), "{\"a\":[{\"c\":true,\"d\":null}],\"b\":1}");

  Value names = obj({{"a", Value::uint(1)},
                     {"B", Value::uint(2)},
                     {"_", Value::uint(3)},
                     {"aa", Value::uint(4)},
                     {"", Value::uint(5)},
                     {"\xc3\xa9", Value::uint(6)},
                     {"z", Value::uint(7)}});
  EXPECT_EQ(canonical_json(names), "{\"\":5,\"B\":2,\"_\":3,\"a\":1,\"aa\":4,\"z\":7,\"\xc3\xa9\":6}");
}

TEST(Canonical, LargeObjectsSortToo) {
  Object o;
  for (int i = 40; i > 0; --i) o.set("k" + std::to_string(i), Value::uint(i));
  std::string text = canonical_json(Value::object(std::move(o)));
  EXPECT_EQ(text.substr(0, 16), "{\"k1\":1,\"k10\":10");
  EXPECT_TRUE(text.ends_with(",\"k9\":9}")) << text;
}

TEST(Canonical, ScalarsAndEmpties) {
  EXPECT_EQ(canonical_json(Value()), "null");
  EXPECT_EQ(canonical_json(Value::boolean(false)), "false");
  EXPECT_EQ(canonical_json(Value::uint(0)), "0");
  EXPECT_EQ(canonical_json(Value::uint(std::numeric_limits<std::uint64_t>::max())), "18446744073709551615");
  EXPECT_EQ(canonical_json(Value::negint(std::numeric_limits<std::int64_t>::min())), "-9223372036854775808");
  EXPECT_EQ(canonical_json(Value::uint(9007199254740993ull)), "9007199254740993");
  EXPECT_EQ(canonical_json(Value::array({})), "[]");
  EXPECT_EQ(canonical_json(Value::object({})), "{}");
}

TEST(ObjectModel, RepeatedNameKeepsFirstPlaceAndLastValue) {
  Object o;
  o.set("a", Value::uint(1));
  o.set("b", Value::uint(2));
  o.set("a", Value::uint(3));
  ASSERT_EQ(o.size(), 2u);
  EXPECT_EQ(o[0].name, "a");
  EXPECT_EQ(o[0].value.as_uint(), 3u);
  EXPECT_EQ(canonical_json(Value::object(o)), "{\"a\":3,\"b\":2}");
}

TEST(ObjectModel, IndexSurvivesGrowthAndCopies) {
  // Past the index threshold lookups go through the name index, which must
  // stay right while the member vector reallocates.
  Object o;
  for (int i = 0; i < 1000; ++i) o.set("n" + std::to_string(i % 300), Value::uint(i));
  ASSERT_EQ(o.size(), 300u);
  for (int i = 0; i < 300; ++i) {
    const Value* v = o.find("n" + std::to_string(i));
    ASSERT_NE(v, nullptr);
    // The last write to n{k} was at 900 + k where that is below 1000, else at 600 + k.
    EXPECT_EQ(v->as_uint(), static_cast<std::uint64_t>(i < 100 ? 900 + i : 600 + i));
  }
  Object copy = o;
  copy.set("n5", Value::uint(7));
  EXPECT_EQ(copy.find("n5")->as_uint(), 7u);
  EXPECT_NE(o.find("n5")->as_uint(), 7u);
  EXPECT_EQ(copy.size(), 300u);
}

TEST(ValueModel, CopiesAreDeepAndEqualityKeepsKinds) {
  Value a = Value::array({Value::string("x"), Value::floating(1.0)});
  Value b = a;
  b.as_array()[0].as_string() = "y";
  EXPECT_EQ(a.as_array()[0].as_string(), "x");
  EXPECT_FALSE(Value::uint(1) == Value::floating(1.0));
  EXPECT_FALSE(Value::floating(0.0) == Value::floating(-0.0));
  EXPECT_TRUE(Value::negint(-1) == Value::negint(-1));
}

TEST(ResponseWriter, CommasAndNesting) {
  Writer w;
  w.begin_object().key("a").uint(1).key("b").begin_array().string("x").boolean(true).begin_object().end_object();
  w.end_array().key("c").raw("{\"d\":null}").end_object();
  EXPECT_EQ(w.take(), "{\"a\":1,\"b\":[\"x\",true,{}],\"c\":{\"d\":null}}");
}

}  // namespace
}  // namespace lantor::json
