#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "core/strategy/model.h"

namespace lantor::strategy {

IndicatorMap::IndicatorMap(List<value_type> entries) {
  // The order is worked out on positions, so that each entry moves once.
  List<std::uint32_t> order(entries.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    // std::string compares bytes as unsigned values.
    return entries[a].first < entries[b].first;
  });
  entries_.reserve(entries.size());
  for (std::uint32_t i : order) entries_.push_back(std::move(entries[i]));
}

const IndicatorSpec* IndicatorMap::find(std::string_view name) const noexcept {
  auto at = std::lower_bound(entries_.begin(), entries_.end(), name,
                             [](const value_type& e, std::string_view n) { return e.first < n; });
  if (at == entries_.end() || at->first != name) return nullptr;
  return &at->second;
}

const IndicatorSpec& IndicatorMap::at(std::string_view name) const {
  const IndicatorSpec* spec = find(name);
  if (spec == nullptr) throw std::out_of_range("no indicator of that name");
  return *spec;
}

}  // namespace lantor::strategy
