#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>

#include "core/base/short_text.h"
#include "core/json/canonical.h"
#include "core/strategy/model.h"

namespace lantor::strategy {

namespace {

// A name's first eight bytes as a number that orders names as their bytes
// do (zeros past a shorter name's end), so that most comparisons are one of
// numbers; names that share those bytes are compared whole.
std::uint64_t order_key(std::string_view name) {
  std::uint64_t word = 0;
  copy_text(reinterpret_cast<char*>(&word), name.data(), std::min<std::size_t>(name.size(), sizeof word));
  // The first byte the most significant.
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  return word;
}

struct Keyed {
  std::uint64_t key;
  std::uint32_t position;
};

}  // namespace

void name_places(std::span<const std::string_view> names, std::span<std::uint32_t> places) {
  assert(places.size() >= names.size());
  List<Keyed> keyed(names.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    keyed[i] = {order_key(names[i]), static_cast<std::uint32_t>(i)};
  std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
    return a.key != b.key ? a.key < b.key : json::name_before(names[a.position], names[b.position]);
  });
  for (std::size_t k = 0; k < keyed.size(); ++k) places[keyed[k].position] = static_cast<std::uint32_t>(k);
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
