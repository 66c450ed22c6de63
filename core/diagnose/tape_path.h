// The way down a tape to one of its slots, as JSON Pointer tokens: member
// names and element positions.
#pragma once

#include <string>
#include <vector>

#include "core/json/tape.h"

namespace lantor::diagnose {

// The tokens leading from `root` to the value at `at`; empty for the root
// itself or a slot outside it.
std::vector<std::string> tape_path(json::Node root, const json::TapeSlot* at);

}  // namespace lantor::diagnose
