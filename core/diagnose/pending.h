// A finding before its place is known. The readers report what they find by
// tape slot, and walking the text once per finding would cost the text as
// many times; so findings wait here until one walk over the tape and one over
// the text have placed them all, and their pointers are written last.
#pragma once

#include <cstddef>

#include "core/diagnose/diagnose.h"
#include "core/diagnose/path_tree.h"
#include "core/diagnose/text_walk.h"
#include "core/json/tape.h"

namespace lantor::diagnose {

struct Pending {
  Finding finding;  // its pointer, offset and length set once placed
  // The value it is about on the strategy's tape, or null when `node` is
  // known already.
  const json::TapeSlot* slot = nullptr;
  bool at_name = false;  // placed at its member's name rather than its value
  std::size_t node = PathTree::kRoot;
  bool placed = false;         // finding.offset and .length are known (found in the text)
  bool pointer_given = false;  // finding.pointer is written already; `node` means nothing
  // When set, the help ends with the line of this offset.
  std::size_t help_line_at = kNoPlace;
};

}  // namespace lantor::diagnose
