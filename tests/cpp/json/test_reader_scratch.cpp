// The reader keeps per-level lists of members and elements from object to
// object and hands them to the values it builds: objects and arrays read one
// after another at the same level, of growing and shrinking sizes, must each
// come out with exactly their own members, in order, with repeats resolved.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/json/canonical.h"
#include "core/json/parse.h"
#include "core/json/value.h"

namespace lantor::json {
namespace {

std::string member_names(const Object& o) {
  std::string names;
  for (const Member& m : o) names += m.name + ",";
  return names;
}

TEST(ReaderScratch, RowsOfChangingSizesKeepTheirOwnMembers) {
  auto v = parse_json(
      R"([{"a":1,"b":2,"c":3,"d":4,"e":5},{"x":1},{"p":1,"q":2,"r":3,"s":4,"t":5,"u":6,"v":7},)"
      R"({"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7},{},{"k":"v","k":"w"},{"m":[1,[2,3],[]]}])");
  ASSERT_TRUE(v);
  const Array& rows = v->as_array();
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(member_names(rows[0].as_object()), "a,b,c,d,e,");
  EXPECT_EQ(member_names(rows[1].as_object()), "x,");
  EXPECT_EQ(member_names(rows[2].as_object()), "p,q,r,s,t,u,v,");
  EXPECT_EQ(member_names(rows[3].as_object()), "a,b,c,d,e,f,g,");
  EXPECT_TRUE(rows[4].as_object().empty());
  ASSERT_EQ(rows[5].as_object().size(), 1u);
  EXPECT_EQ(rows[5].as_object().find("k")->as_string(), "w");
  EXPECT_EQ(canonical_json(rows[6]), R"({"m":[1,[2,3],[]]})");
  EXPECT_EQ(rows[3].as_object().find("g")->as_uint(), 7u);
}

TEST(ReaderScratch, ValuesOutliveTheNextRead) {
  // A second read on the same thread reuses the scratch; the first tree must
  // be untouched by it.
  auto first = parse_json(R"({"a":[1,2,3],"b":{"c":"a string longer than fifteen bytes"}})");
  auto second = parse_json(R"({"z":[9],"y":{"w":"other"}})");
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  EXPECT_EQ(canonical_json(*first), R"({"a":[1,2,3],"b":{"c":"a string longer than fifteen bytes"}})");
  EXPECT_EQ(canonical_json(*second), R"({"y":{"w":"other"},"z":[9]})");
}

TEST(ReaderScratch, FailedReadLeavesNothingBehind) {
  EXPECT_FALSE(parse_json(R"({"a":[1,2,{"b":3,)"));
  auto v = parse_json(R"({"c":[4]})");
  ASSERT_TRUE(v);
  EXPECT_EQ(canonical_json(*v), R"({"c":[4]})");
}

TEST(ObjectAssignUnique, TakesTheListOverAndFindsByName) {
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

}  // namespace
}  // namespace lantor::json
