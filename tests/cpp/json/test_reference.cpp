// The reference tree itself: what the differential tests compare the core
// with must keep a repeated name's first place and last value, find names in
// wide objects, copy deeply and keep number kinds apart.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/json_reference.h"

namespace lantor::json {
namespace {

TEST(ReferenceObject, RepeatedNameKeepsFirstPlaceAndLastValue) {
  Object o;
  o.set("a", Value::uint(1));
  o.set("b", Value::uint(2));
  o.set("a", Value::uint(3));
  ASSERT_EQ(o.size(), 2u);
  EXPECT_EQ(o[0].name, "a");
  EXPECT_EQ(o[0].value.as_uint(), 3u);
  EXPECT_EQ(canonical_json(Value::object(o)), "{\"a\":3,\"b\":2}");
  auto read = parse_json(R"({"a":1,"b":2,"a":3})");
  ASSERT_TRUE(read.ok());
  EXPECT_TRUE(*read == Value::object(o));
}

TEST(ReferenceObject, IndexSurvivesGrowthAndCopies) {
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

TEST(ReferenceObject, TakesTheListOverAndFindsByName) {
  MemberList members;
  for (int i = 0; i < 20; ++i) members.push_back(Member{"n" + std::to_string(i), Value::uint(i)});
  Object o;
  o.set("old", Value::uint(99));
  ASSERT_NE(o.find("old"), nullptr);
  o.assign_unique(std::move(members));
  EXPECT_EQ(o.size(), 20u);
  EXPECT_EQ(o.find("old"), nullptr);
  ASSERT_NE(o.find("n17"), nullptr);
  EXPECT_EQ(o.find("n17")->as_uint(), 17u);
  EXPECT_EQ(o[0].name, "n0");
  o.set("n3", Value::uint(300));
  EXPECT_EQ(o.find("n3")->as_uint(), 300u);
  EXPECT_EQ(o.size(), 20u);
}

TEST(ReferenceValue, CopiesAreDeepAndEqualityKeepsKinds) {
  Value a = Value::array({Value::string("x"), Value::floating(1.0)});
  Value b = a;
  b.as_array()[0].as_string() = "y";
  EXPECT_EQ(a.as_array()[0].as_string(), "x");
  EXPECT_FALSE(Value::uint(1) == Value::floating(1.0));
  EXPECT_FALSE(Value::floating(0.0) == Value::floating(-0.0));
  EXPECT_TRUE(Value::negint(-1) == Value::negint(-1));
}

}  // namespace
}  // namespace lantor::json
