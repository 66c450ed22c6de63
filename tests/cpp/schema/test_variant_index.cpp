// A variant list's name index finds what a walk along the list finds, names
// that share a slot included.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/schema/choice.h"

namespace lantor::schema {
namespace {

// The list of `names` indexed: every name at its position, the others nowhere.
void expect_found_as_listed(const std::vector<std::string>& names, const std::vector<std::string>& others) {
  Variant list[31] = {};
  ASSERT_LE(names.size(), std::size(list));
  for (std::size_t i = 0; i < names.size(); ++i) list[i] = {names[i], ""};
  // The unused entries are named "", which is then found at the first of them.
  const VariantIndex index(list);
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(index.find(names[i]), i) << names[i];
  for (const std::string& other : others) EXPECT_EQ(index.find(other), std::size(list)) << other;
}

TEST(VariantIndex, FindsEachNameAtItsPosition) {
  std::vector<std::string> many;
  for (int i = 0; i < 30; ++i) many.push_back("v" + std::to_string(i));
  many.push_back("v");
  const struct {
    std::vector<std::string> names;
    std::vector<std::string> others;
  } rows[] = {
      {{"gt", "lt", "all", "any", "not", "cross_above", "bars_since_entry"},
       {"g", "gtt", "GT", "al", "cross_abovE"}},
      // Same length and end bytes: one slot, found by probing on.
      {{"axb", "ayb", "azb", "a0b"}, {"awb", "ab", "axxb"}},
      {many, {"v30", "w0", "v00"}},
  };
  for (const auto& row : rows) expect_found_as_listed(row.names, row.others);
}

}  // namespace
}  // namespace lantor::schema
