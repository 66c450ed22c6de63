// Every value of a strategy document's text with its place, in the order
// the values begin: what an editor needs to work on the text as the reader
// sees it (the value under a cursor, an outline, the text re-indented with
// every token kept as written). The walk is text_walk's, so it stops at the
// reader's first failure; what had begun by then is kept, unfinished.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/diagnose/text_walk.h"

namespace lantor::diagnose {

struct LocatedValue {
  std::size_t parent = kNoPlace;  // the position in the list of the value that holds it
  WalkFrame::Kind kind = WalkFrame::Kind::Scalar;
  std::size_t start = kNoPlace;       // its first byte; none for a member whose value has not begun
  std::size_t end = kNoPlace;         // one past its last byte; none for a value left unfinished
  std::size_t name_start = kNoPlace;  // a member's name, quotes included
  std::size_t name_end = kNoPlace;
  std::string name;                   // a member's name, decoded
  std::size_t index = 0;              // its position among the elements or members of its parent
  std::optional<std::string> string;  // a string's text, decoded, once it has ended

  bool is_member() const { return name_start != kNoPlace; }
};

struct LocatedValues {
  std::vector<LocatedValue> values;
  // Where the reader failed; none when the text held one whole value (the
  // walk does not look past it).
  std::size_t failed_at = kNoPlace;
};

LocatedValues locate_values(std::string_view text);

}  // namespace lantor::diagnose
