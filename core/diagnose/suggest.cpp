#include "core/diagnose/suggest.h"

#include <algorithm>
#include <vector>

namespace lantor::diagnose {
namespace {

// Optimal string alignment distance over bytes.
std::size_t edits(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  const std::size_t m = b.size();
  std::vector<std::size_t> d((n + 1) * (m + 1));
  auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return d[i * (m + 1) + j]; };
  for (std::size_t i = 0; i <= n; ++i) at(i, 0) = i;
  for (std::size_t j = 0; j <= m; ++j) at(0, j) = j;
  for (std::size_t i = 1; i <= n; ++i) {
    for (std::size_t j = 1; j <= m; ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
    }
  }
  return at(n, m);
}

}  // namespace

std::optional<std::string_view> nearest_name(std::string_view name,
                                             std::span<const std::string_view> candidates) {
  std::optional<std::string_view> best;
  std::size_t best_edits = 0;
  for (const std::string_view candidate : candidates) {
    const std::size_t e = edits(name, candidate);
    if (e == 0 || e * 3 > std::max(name.size(), candidate.size())) continue;
    if (!best || e < best_edits) {
      best = candidate;
      best_edits = e;
    }
  }
  return best;
}

}  // namespace lantor::diagnose
