// The nearest of some names to a misspelt one.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace lantor::diagnose {

// The name of `candidates` fewest edits (insertions, deletions,
// substitutions, swaps of neighbours) away from `name`, when that is at most
// a third of the longer name's length; the first such in order on a tie.
std::optional<std::string_view> nearest_name(std::string_view name,
                                             std::span<const std::string_view> candidates);

}  // namespace lantor::diagnose
