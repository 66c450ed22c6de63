#include "core/diagnose/suggest.h"

#include <algorithm>
#include <numeric>

namespace lantor::diagnose {

Candidates::Candidates(std::span<const std::string_view> names) : names_(names), positions_(names.size()) {
  std::iota(positions_.begin(), positions_.end(), std::size_t{0});
  std::stable_sort(positions_.begin(), positions_.end(),
                   [&](std::size_t a, std::size_t b) { return names[a].size() < names[b].size(); });
  lengths_.reserve(positions_.size());
  for (const std::size_t p : positions_) lengths_.push_back(names[p].size());
}

std::span<const std::size_t> Candidates::of_length(std::size_t lo, std::size_t hi) const {
  const auto first = std::lower_bound(lengths_.begin(), lengths_.end(), lo);
  const auto last = std::upper_bound(first, lengths_.end(), hi);
  return std::span<const std::size_t>(positions_)
      .subspan(static_cast<std::size_t>(first - lengths_.begin()), static_cast<std::size_t>(last - first));
}

std::optional<std::string_view> Suggester::nearest(std::string_view name, const Candidates& candidates) {
  const std::size_t n = name.size();
  if (n > kMaxSuggestedName || spent_ >= budget_) return std::nullopt;
  // A name of length m is near enough only if |n - m| <= max(n, m) / 3,
  // which holds for no length outside these.
  const std::size_t lo = n - n / 3;
  const std::size_t hi = n + n / 2;
  std::optional<std::size_t> best;
  std::size_t best_edits = 0;
  for (const std::size_t position : candidates.of_length(lo, hi)) {
    if (spent_ >= budget_) return std::nullopt;
    ++spent_;
    const std::string_view candidate = candidates.names()[position];
    std::size_t limit = std::max(n, candidate.size()) / 3;
    // On a tie the earlier candidate wins.
    if (best) limit = std::min(limit, position < *best ? best_edits : best_edits - 1);
    const std::size_t gap = n > candidate.size() ? n - candidate.size() : candidate.size() - n;
    // A limit of 0 admits the name itself only, which is no suggestion.
    if (limit == 0 || gap > limit) continue;
    const std::size_t edits = bounded_edits(name, candidate, limit, spent_);
    if (edits == 0 || edits > limit) continue;
    best = position;
    best_edits = edits;
  }
  if (!best) return std::nullopt;
  return candidates.names()[*best];
}

std::size_t bounded_edits(std::string_view a, std::string_view b, std::size_t limit, std::uint64_t& cells) {
  const std::size_t n = a.size();
  const std::size_t m = b.size();
  const std::size_t over = limit + 1;
  if ((n > m ? n - m : m - n) > limit) return over;
  // Three rows, for the swap of neighbours that looks two rows back; a cell
  // outside the band reads as `over`.
  std::vector<std::size_t> before(m + 1, over);
  std::vector<std::size_t> previous(m + 1, over);
  std::vector<std::size_t> row(m + 1, over);
  for (std::size_t j = 0; j <= std::min(m, limit); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= n; ++i) {
    const std::size_t lo = i > limit ? i - limit : 1;
    const std::size_t hi = std::min(m, i + limit);
    row[lo - 1] = lo == 1 && i <= limit ? i : over;
    std::size_t row_min = row[lo - 1];
    for (std::size_t j = lo; j <= hi; ++j) {
      std::size_t d =
          std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d = std::min(d, before[j - 2] + 1);
      row[j] = std::min(d, over);
      row_min = std::min(row_min, row[j]);
    }
    if (hi < m) row[hi + 1] = over;
    cells += hi >= lo ? hi - lo + 1 : 0;
    if (row_min > limit) return over;
    std::swap(before, previous);
    std::swap(previous, row);
  }
  return previous[m];
}

}  // namespace lantor::diagnose
