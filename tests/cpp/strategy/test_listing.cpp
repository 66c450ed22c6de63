// The list of the strategy document's types, made from the readers' own
// tables: complete (every type it names is listed) and in declaration order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/strategy/tables.h"
#include "tests/support/listing_check.h"

namespace lantor::strategy {
namespace {

const schema::TypeInfo& listed(std::string_view name) {
  for (const schema::TypeInfo& t : types())
    if (t.name == name) return t;
  ADD_FAILURE() << name << " is not listed";
  return types().front();
}

TEST(Listing, EveryTypeNamedIsListed) {
  EXPECT_EQ(lantor::testing::unresolved(types()), std::vector<std::string>());
}

TEST(Listing, MembersAndVariantsInDeclarationOrder) {
  std::string members;
  for (const schema::MemberInfo& m : listed("StrategySpec").members)
    members += std::string(m.name) + (m.required ? "! " : " ");
  EXPECT_EQ(members,
            "spec_version symbol! ref_symbol timeframe! indicators! entry! exit! short_entry short_exit "
            "sizing! costs risk execution warmup ");
  const schema::TypeInfo& sizing = listed("Sizing");
  EXPECT_EQ(sizing.shape, schema::Shape::InternallyTagged);
  EXPECT_EQ(sizing.tag, "type");
  // Each variant's fields are a record of the listing, named as the
  // messages name it.
  for (const schema::Variant& v : sizing.variants) EXPECT_EQ(listed(v.data).shape, schema::Shape::Record);
  EXPECT_EQ(listed("Sizing::VolTarget").members.size(), 2u);
}

}  // namespace
}  // namespace lantor::strategy
