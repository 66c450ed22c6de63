// The published JSON Schemas of the strategy document, held to the readers'
// own tables: every record's members (names, order, which are required, and
// in the exact flavour the positional form) and every choice's variants, in
// order. A member or variant added to a reader and not to the schema's
// source, tools/strategy_document.py, fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/strategy/tables.h"
#include "core/strategy/variants.h"
#include "read_file.h"
#include "tests/support/json_reference.h"

namespace lantor::strategy::testing {
namespace {

using json::Value;
using Names = std::vector<std::string>;
using Members = std::vector<schema::MemberInfo>;

// The members of a record of the readers' listing.
const Members& members_of(std::string_view record) {
  for (const schema::TypeInfo& t : types())
    if (t.name == record) return t.members;
  ADD_FAILURE() << record << " is not listed";
  static const Members none;
  return none;
}

// The fields of each variant of a tagged choice, in its order; none for a
// variant without data.
std::vector<Members> variant_members(std::span<const schema::Variant> variants) {
  std::vector<Members> out;
  for (const schema::Variant& v : variants) out.push_back(v.data.empty() ? Members() : members_of(v.data));
  return out;
}

const Value kMissing;

const Value& at(const Value& v, std::string_view name) {
  const Value* found = v.is_object() ? v.as_object().find(name) : nullptr;
  return found ? *found : kMissing;
}

const Value& at(const Value& v, std::size_t i) {
  return v.is_array() && i < v.as_array().size() ? v.as_array()[i] : kMissing;
}

std::string text(const Value& v) { return v.is_string() ? v.as_string() : "<not a string>"; }

// The member names of an object, none for anything else.
Names keys(const Value& v) {
  Names out;
  if (v.is_object())
    for (const json::Member& m : v.as_object()) out.push_back(m.name);
  return out;
}

// The texts of an array, none for anything else.
Names texts(const Value& v) {
  Names out;
  if (v.is_array())
    for (const Value& e : v.as_array()) out.push_back(text(e));
  return out;
}

std::size_t count(const Value& v) { return v.is_number() ? v.as_uint() : ~std::size_t{0}; }

class PublishedSchema : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    auto parsed = json::parse_json(
        lantor::testing::read_file(std::string(LANTOR_SOURCE_DIR) + "/python/lantor_compile/" + GetParam()));
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    schema_ = std::move(*parsed);
    exact_ = std::string_view(GetParam()) == "strategy.schema.json";
  }

  const Value& def(std::string_view name) {
    checked_.insert(std::string(name));
    return at(at(schema_, "$defs"), name);
  }

  // Members of a record or of a tagged variant, after `lead` (the tag).
  void expect_members(const Value& record, const Members& members, std::size_t lead) {
    Names names = keys(at(record, "properties")), required = texts(at(record, "required"));
    Names expected_names, expected_required;
    std::erase(names, "$schema");
    names.erase(names.begin(), names.begin() + std::min(lead, names.size()));
    required.erase(required.begin(), required.begin() + std::min(lead, required.size()));
    std::size_t min_items = lead;
    for (std::size_t i = 0; i < members.size(); ++i) {
      expected_names.emplace_back(members[i].name);
      if (!members[i].required) continue;
      expected_required.emplace_back(members[i].name);
      min_items = lead + i + 1;
    }
    EXPECT_EQ(names, expected_names);
    EXPECT_EQ(required, expected_required);
    if (!exact_) {
      EXPECT_EQ(at(record, "additionalProperties"), Value::boolean(false));
      return;
    }
    Names positional;
    const Value& items = at(record, "prefixItems");
    for (std::size_t i = lead; at(items, i).is_object(); ++i) {
      const std::string ref = text(at(at(items, i), "$ref"));
      positional.push_back(ref.substr(ref.rfind('/') + 1));
    }
    EXPECT_EQ(positional, expected_names);
    EXPECT_EQ(count(at(record, "minItems")), min_items);
    EXPECT_EQ(count(at(record, "maxItems")), lead + members.size());
  }

  // The variants of an internally tagged choice and their fields, in order:
  // branches of an anyOf in the exact flavour; in the strict one a tag that
  // takes the variants' names, and an if and a then for each.
  void expect_tagged(std::string_view choice, std::span<const schema::Variant> expected,
                     const std::vector<Members>& fields) {
    SCOPED_TRACE(choice);
    const Value& d = def(choice);
    const Value& branches = at(d, exact_ ? "anyOf" : "allOf");
    ASSERT_TRUE(branches.is_array());
    ASSERT_EQ(branches.as_array().size(), expected.size());
    ASSERT_EQ(fields.size(), expected.size());
    if (!exact_) {
      Names want;
      for (const schema::Variant& v : expected) want.emplace_back(v.name);
      EXPECT_EQ(texts(at(at(at(d, "properties"), "type"), "enum")), want);
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const Value& b = exact_ ? branches.as_array()[i] : at(branches.as_array()[i], "then");
      if (!exact_) {
        EXPECT_EQ(text(at(at(at(at(branches.as_array()[i], "if"), "properties"), "type"), "const")),
                  expected[i].name);
      }
      EXPECT_EQ(text(at(at(at(b, "properties"), "type"), "const")), expected[i].name);
      expect_members(b, fields[i], 1);
    }
  }

  // The variants of an externally tagged choice, in order: one-member objects
  // (a member each, in one object or one required member per branch), and
  // bare names (`const`) for variants without data.
  void expect_variants(std::string_view choice, std::span<const schema::Variant> expected) {
    SCOPED_TRACE(choice);
    Names want;
    for (const schema::Variant& v : expected) want.emplace_back(v.name);
    Names consts, members = keys(at(def(choice), "properties"));
    const Value& branches = at(def(choice), "anyOf");
    for (std::size_t i = 0; at(branches, i).is_object(); ++i) {
      const Value& b = at(branches, i);
      if (at(b, "const").is_string()) consts.push_back(text(at(b, "const")));
      const Names required = texts(at(b, "required"));
      const Names named = required.empty() ? keys(at(b, "properties")) : required;
      members.insert(members.end(), named.begin(), named.end());
    }
    EXPECT_EQ(members, want);
    if (!consts.empty()) {  // variants without data
      EXPECT_EQ(consts, want);
    }
  }

  Value schema_;
  bool exact_ = false;
  std::set<std::string> checked_;
};

TEST_P(PublishedSchema, MatchesTheReadersTables) {
  expect_members(schema_, members_of("StrategySpec"), 0);
  expect_members(def("IndicatorSpec"), members_of("IndicatorSpec"), 0);
  expect_members(def("Costs"), members_of("Costs"), 0);
  expect_members(def("Risk"), members_of("Risk"), 0);
  expect_members(def("Execution"), members_of("Execution"), 0);

  expect_tagged("Sizing", variants::kSizing, variant_members(variants::kSizing));
  expect_tagged("Slippage", variants::kSlippage, variant_members(variants::kSlippage));
  expect_variants("Feed", variants::kFeed);
  expect_variants("PriceSource", variants::kPriceSource);
  expect_variants("Expr", variants::kExpr);
  expect_variants("Condition", variants::kCondition);
  expect_variants("BarsCmp", variants::kBarsCmp);
  expect_variants("OrderType", variants::kOrderType);
  expect_variants("FillTiming", variants::kFillTiming);

  // Every named type was compared, but the operand, whose alternatives are
  // JSON kinds rather than names.
  std::set<std::string> defined;
  for (const std::string& name : keys(at(schema_, "$defs"))) defined.insert(name);
  checked_.insert("Operand");
  EXPECT_EQ(defined, checked_);
}

INSTANTIATE_TEST_SUITE_P(Flavours, PublishedSchema,
                         ::testing::Values("strategy.schema.json", "strategy.strict.schema.json"));

}  // namespace
}  // namespace lantor::strategy::testing
