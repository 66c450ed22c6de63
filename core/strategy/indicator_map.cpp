#include <algorithm>
#include <cstdint>

#include "core/json/canonical.h"
#include "core/strategy/model.h"

namespace lantor::strategy {

IndicatorMap::IndicatorMap(List<value_type> entries) {
  // The order is worked out on positions, so that each entry moves once.
  List<std::uint32_t> order(entries.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  json::sort_by_name(
      order.data(), order.size(), [&](std::uint32_t i) { return std::string_view(entries[i].first); },
      [](std::uint32_t i) { return i; });
  entries_.reserve(entries.size());
  for (std::uint32_t i : order) entries_.push_back(std::move(entries[i]));
}

const IndicatorSpec* IndicatorMap::find(std::string_view name) const noexcept {
  auto at =
      std::lower_bound(entries_.begin(), entries_.end(), name,
                       [](const value_type& e, std::string_view n) { return json::name_before(e.first, n); });
  if (at == entries_.end() || at->first != name) return nullptr;
  return &at->second;
}

}  // namespace lantor::strategy
