// The member lists of the document's records, for what describes the
// document outside the readers (the published JSON Schema is held to them by
// a test). Each list is made from the very table its reader walks, so the
// names, their order and whether they are required are the readers' own.
#pragma once

#include <string_view>
#include <vector>

namespace lantor::strategy::tables {

struct Member {
  std::string_view name;
  bool required;
};
using Members = std::vector<Member>;

// The names and required flags of a reader's field table, in order.
template <class Fields>
Members members_of(const Fields& fields) {
  Members out;
  for (const auto& f : fields) out.push_back({f.name, f.required});
  return out;
}

Members strategy_members();
Members indicator_members();
Members costs_members();
Members risk_members();
Members execution_members();
// The fields of each variant, in the order of names::kSizing and
// names::kSlippage; the tag is not among them.
std::vector<Members> sizing_variant_members();
std::vector<Members> slippage_variant_members();

}  // namespace lantor::strategy::tables
