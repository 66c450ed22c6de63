// Conditions: the sixteen operators, their data, nesting and error order.
#include <string>

#include "strategy_test_support.h"

namespace lantor::strategy::testing {
namespace {

constexpr const char* kUnknownGte =
    "unknown variant `gte`, expected one of `gt`, `lt`, `ge`, `le`, `eq`, `ne`, `cross_above`, "
    "`cross_below`, `between`, `rising`, `falling`, `all`, `any`, `not`, `in_position`, "
    "`bars_since_entry`";
constexpr const char* kUnknownGT =
    "unknown variant `GT`, expected one of `gt`, `lt`, `ge`, `le`, `eq`, `ne`, `cross_above`, "
    "`cross_below`, `between`, `rising`, `falling`, `all`, `any`, `not`, `in_position`, "
    "`bars_since_entry`";
constexpr const char* kUnitVariant = "invalid type: unit variant, expected newtype variant";
constexpr const char* kSingleKey = "invalid value: map, expected map with a single key";

TEST(Conditions, EveryOperatorAccepted) {
  const char* rows[] = {
      R"({"gt": ["rsi", 70]})",
      R"({"lt": ["rsi", 30]})",
      R"({"ge": ["a", "b"]})",
      R"({"le": [1, 2.5]})",
      R"({"eq": [{"price": "close"}, "x"]})",
      R"({"ne": ["a", 0]})",
      R"({"cross_above": ["fast", "slow"]})",
      R"({"cross_below": ["fast", {"mul": ["slow", 1.01]}]})",
      R"({"between": ["rsi", 30, 70]})",
      R"({"rising": ["ema_fast", 3]})",
      R"({"falling": ["ema_fast", 0]})",
      R"({"rising": ["ema_fast", 4294967295]})",
      R"({"all": []})",
      R"({"any": []})",
      R"({"all": [{"gt": ["a", 1]}, {"any": [{"in_position": true}]}]})",
      R"({"not": {"not": {"in_position": true}}})",
      R"({"in_position": false})",
      R"({"bars_since_entry": {"gt": 1}})",
      R"({"bars_since_entry": {"lt": 2}})",
      R"({"bars_since_entry": {"ge": 10}})",
      R"({"bars_since_entry": {"le": 0}})",
      R"({"bars_since_entry": {"eq": 4294967295}})",
      R"({"gt": ["a", 1], "gt": ["b", 2]})",  // the reader keeps one member
  };
  for (const char* row : rows) EXPECT_EQ(entry_outcome(row), kValid) << row;
}

TEST(Conditions, Rejected) {
  const Row rows[] = {
      // shape of the condition itself
      {R"("gt")", kUnitVariant},
      {R"("bars_since_entry")", kUnitVariant},
      {R"("gte")", kUnknownGte},
      {R"(null)", "invalid type: null, expected string or map"},
      {R"(1)", "invalid type: integer `1`, expected string or map"},
      {R"([{"gt": ["a", 1]}])", "invalid type: sequence, expected string or map"},
      {R"({})", kSingleKey},
      {R"({"gt": ["a", 1], "lt": ["b", 2]})", kSingleKey},
      {R"({"GT": ["a", 1]})", kUnknownGT},
      // pairs
      {R"({"gt": {"a": 1}})", "invalid type: map, expected a tuple of size 2"},
      {R"({"cross_below": "a"})", "invalid type: string \"a\", expected a tuple of size 2"},
      {R"({"gt": []})", "invalid length 0, expected a tuple of size 2"},
      {R"({"gt": ["rsi"]})", "invalid length 1, expected a tuple of size 2"},
      {R"({"gt": ["rsi", 70, 80]})", "invalid length 3, expected fewer elements in array"},
      {R"({"gt": [true, 70]})", kOperandMismatch},
      {R"({"gt": [true]})", kOperandMismatch},
      {R"({"gt": ["a", 1, true]})", "invalid length 3, expected fewer elements in array"},
      // between
      {R"({"between": ["rsi", 30]})", "invalid length 2, expected a tuple of size 3"},
      {R"({"between": []})", "invalid length 0, expected a tuple of size 3"},
      {R"({"between": ["rsi", 1, 2, 3]})", "invalid length 4, expected fewer elements in array"},
      {R"({"between": null})", "invalid type: null, expected a tuple of size 3"},
      // rising, falling
      {R"({"rising": ["ema_fast", 3.0]})", "invalid type: floating point `3.0`, expected u32"},
      {R"({"rising": ["ema_fast", 3e0]})", "invalid type: floating point `3.0`, expected u32"},
      {R"({"falling": ["ema_fast", -1]})", "invalid value: integer `-1`, expected u32"},
      {R"({"falling": ["ema_fast", 4294967296]})", "invalid value: integer `4294967296`, expected u32"},
      {R"({"rising": ["ema_fast", "3"]})", "invalid type: string \"3\", expected u32"},
      {R"({"rising": ["ema_fast", null]})", "invalid type: null, expected u32"},
      {R"({"rising": ["ema_fast"]})", "invalid length 1, expected a tuple of size 2"},
      {R"({"rising": ["ema_fast", 3, 4]})", "invalid length 3, expected fewer elements in array"},
      {R"({"rising": 3})", "invalid type: integer `3`, expected a tuple of size 2"},
      // all, any, not
      {R"({"all": {"gt": [1, 2]}})", "invalid type: map, expected a sequence"},
      {R"({"any": null})", "invalid type: null, expected a sequence"},
      {R"({"not": null})", "invalid type: null, expected string or map"},
      {R"({"not": "lt"})", kUnitVariant},
      {R"({"not": [{"gt": [1, 2]}]})", "invalid type: sequence, expected string or map"},
      // in_position
      {R"({"in_position": 1})", "invalid type: integer `1`, expected a boolean"},
      {R"({"in_position": null})", "invalid type: null, expected a boolean"},
      {R"({"in_position": "true"})", "invalid type: string \"true\", expected a boolean"},
      // bars_since_entry
      {R"({"bars_since_entry": "ge"})", kUnitVariant},
      {R"({"bars_since_entry": {"ne": 10}})",
       "unknown variant `ne`, expected one of `gt`, `lt`, `ge`, `le`, `eq`"},
      {R"({"bars_since_entry": "ne"})", "unknown variant `ne`, expected one of `gt`, `lt`, `ge`, `le`, `eq`"},
      {R"({"bars_since_entry": {}})", kSingleKey},
      {R"({"bars_since_entry": {"ge": 1, "le": 5}})", kSingleKey},
      {R"({"bars_since_entry": 5})", "invalid type: integer `5`, expected string or map"},
      {R"({"bars_since_entry": null})", "invalid type: null, expected string or map"},
      {R"({"bars_since_entry": {"ge": -1}})", "invalid value: integer `-1`, expected u32"},
      {R"({"bars_since_entry": {"ge": 1.5}})", "invalid type: floating point `1.5`, expected u32"},
      {R"({"bars_since_entry": {"ge": null}})", "invalid type: null, expected u32"},
  };
  for (const auto& row : rows) EXPECT_EQ(entry_outcome(row.input), row.expected) << row.input;
}

// The first failing place of a left-to-right, outside-in walk is reported.
TEST(Conditions, FirstFailureInDocumentOrder) {
  const Row rows[] = {
      {R"({"all": [{"gt": ["a", 1]}, {"gte": []}, {"lt": []}]})", kUnknownGte},
      {R"({"any": [{"all": [{"not": {"lt": [1]}}]}, {"bogus": 1}]})",
       "invalid length 1, expected a tuple of size 2"},
      {R"({"all": [{"any": []}, {"not": {"in_position": 0}}, "x"]})",
       "invalid type: integer `0`, expected a boolean"},
      {R"({"between": [{"bad": 1}, 1]})", kOperandMismatch},
  };
  for (const auto& row : rows) EXPECT_EQ(entry_outcome(row.input), row.expected) << row.input;
  // Members are visited in document order, so a bad exit written before a bad
  // entry is the one reported.
  EXPECT_EQ(outcome(R"({"exit": {"gt": []}, "entry": {"lt": 5}})"),
            "invalid length 0, expected a tuple of size 2");
}

TEST(Conditions, TypedTree) {
  auto spec = typed(with_member("entry", R"({"all": [
      {"cross_below": ["fast", "slow"]},
      {"between": ["rsi", 30, 70]},
      {"falling": ["atr", 5]},
      {"not": {"in_position": true}},
      {"any": []},
      {"bars_since_entry": {"le": 12}}]})"));
  ASSERT_TRUE(spec.ok()) << spec.error().message;
  const auto& all = std::get<Group>(spec->entry.value);
  EXPECT_EQ(all.junction, Junction::All);
  ASSERT_EQ(all.items.size(), 6u);
  EXPECT_EQ(std::get<Comparison>(all.items[0].value).op, CompareOp::CrossBelow);
  const auto& between = std::get<Between>(all.items[1].value);
  EXPECT_EQ(std::get<std::string>(between.value.value), "rsi");
  EXPECT_EQ(std::get<double>(between.low.value), 30.0);
  EXPECT_EQ(std::get<double>(between.high.value), 70.0);
  const auto& trend = std::get<Trend>(all.items[2].value);
  EXPECT_EQ(trend.direction, Direction::Falling);
  EXPECT_EQ(trend.bars, 5u);
  const auto& negation = std::get<Negation>(all.items[3].value);
  ASSERT_NE(negation.inner, nullptr);
  EXPECT_TRUE(std::get<InPosition>(negation.inner->value).value);
  EXPECT_EQ(std::get<Group>(all.items[4].value).junction, Junction::Any);
  const auto& bars = std::get<BarsCmp>(all.items[5].value);
  EXPECT_EQ(bars.op, BarsCmp::Op::Le);
  EXPECT_EQ(bars.bars, 12u);
}

}  // namespace
}  // namespace lantor::strategy::testing
