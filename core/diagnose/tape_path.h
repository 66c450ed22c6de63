// The paths of tape slots, as nodes of a PathTree: what a reading of a tape
// reports a place by (a slot) turned into what the text is walked by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/diagnose/path_tree.h"
#include "core/json/tape.h"

namespace lantor::diagnose {

// The node of `tree` for each of `targets`, slots of the tape under `root`,
// whose own node is `root_node`: a value's slot gets its path, a member's
// name slot the path of its object, and a slot outside the value
// `root_node`. One walk over the tape serves every target, each step of a
// path added to the tree once; the slots walked are added to `steps`.
std::vector<std::size_t> tape_nodes(json::Node root, std::span<const json::TapeSlot* const> targets,
                                    PathTree& tree, std::size_t root_node, std::uint64_t& steps);

}  // namespace lantor::diagnose
