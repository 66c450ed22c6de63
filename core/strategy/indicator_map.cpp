#include <algorithm>
#include <cassert>
#include <cstdint>

#include "core/json/canonical.h"
#include "core/strategy/model.h"

namespace lantor::strategy {

void name_places(std::span<const std::string_view> names, std::span<std::uint32_t> places) {
  assert(places.size() >= names.size());
  // Sorted as the reader sorts an object's members: on the first eight bytes
  // of each name as one number, whole names compared only on a tie.
  List<json::NameEntry> order(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) order[i] = {names[i], json::name_key(names[i]), i};
  json::sort_entries(order.data(), order.size());
  for (std::size_t k = 0; k < order.size(); ++k) places[order[k].index] = static_cast<std::uint32_t>(k);
}

IndicatorMap::IndicatorMap(List<value_type> entries) : entries_(std::move(entries)) {
  assert(std::adjacent_find(entries_.begin(), entries_.end(),
                            [](const value_type& a, const value_type& b) {
                              return !json::name_before(a.first, b.first);
                            }) == entries_.end() &&
         "entries with distinct names in name order");
}

const IndicatorSpec* IndicatorMap::find(std::string_view name) const noexcept {
  auto at =
      std::lower_bound(entries_.begin(), entries_.end(), name,
                       [](const value_type& e, std::string_view n) { return json::name_before(e.first, n); });
  if (at == entries_.end() || at->first != name) return nullptr;
  return &at->second;
}

}  // namespace lantor::strategy
