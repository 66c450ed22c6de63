// The nearest of some names to a misspelt one, at a cost bounded for the
// whole document: a hostile text may ask for a suggestion for each of many
// long names among many candidates, and the answer is never worth more than
// the document's own reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace lantor::diagnose {

// Names longer than this get no suggestion.
inline constexpr std::size_t kMaxSuggestedName = 64;

// Candidate names, with their order by length kept aside so that only those
// of a length near the misspelt name's are looked at. Views: the names must
// outlive it.
class Candidates {
 public:
  explicit Candidates(std::span<const std::string_view> names);

  std::span<const std::string_view> names() const { return names_; }
  // The positions (into names()) of the names whose length is in [lo, hi],
  // in order of length, then of position.
  std::span<const std::size_t> of_length(std::size_t lo, std::size_t hi) const;

 private:
  std::span<const std::string_view> names_;
  std::vector<std::size_t> positions_;  // by length, then position
  std::vector<std::size_t> lengths_;    // the length of each of positions_
};

class Suggester {
 public:
  // `budget`: the cells of edit-distance tables and the candidates looked
  // at that all suggestions together may cost; past it there are none.
  explicit Suggester(std::uint64_t budget) : budget_(budget) {}

  // The candidate fewest edits (insertions, deletions, substitutions, swaps
  // of neighbours, over bytes) away from `name`, when that is at least one
  // and at most a third of the longer name's length; the first in order on a
  // tie. None for a name over kMaxSuggestedName bytes, or once the budget is
  // spent.
  std::optional<std::string_view> nearest(std::string_view name, const Candidates& candidates);
  std::optional<std::string_view> nearest(std::string_view name, std::span<const std::string_view> names) {
    return nearest(name, Candidates(names));
  }

  std::uint64_t spent() const { return spent_; }

 private:
  std::uint64_t budget_;
  std::uint64_t spent_ = 0;
};

// The distance between `a` and `b` as Suggester counts it when it is at most
// `limit`, else limit + 1. Only the cells within `limit` of the diagonal are
// worked out, and the work stops once a row exceeds the limit; the cells
// worked out are added to `cells`.
std::size_t bounded_edits(std::string_view a, std::string_view b, std::size_t limit, std::uint64_t& cells);

}  // namespace lantor::diagnose
