#include "core/diagnose/path_tree.h"

#include "core/diagnose/text_walk.h"

namespace lantor::diagnose {

// Follows the tree down the text as it is walked: the nodes each open value
// stands for, by depth.
class TreePlacer final : public WalkListener {
 public:
  explicit TreePlacer(PathTree& tree) : tree_(tree) {}

  void named(WalkPath path) override {
    std::vector<std::size_t>& here = at_depth(path.size() - 1);
    for (const std::size_t parent : stack_[path.size() - 2]) {
      auto [first, last] =
          tree_.by_name_.equal_range(std::pair<std::size_t, std::string_view>(parent, path.back().name));
      for (; first != last; ++first) here.push_back(first->second);
    }
  }

  void began(WalkPath path) override {
    const WalkFrame& v = path.back();
    const std::size_t depth = path.size() - 1;
    if (!v.is_member()) {
      std::vector<std::size_t>& here = at_depth(depth);
      if (depth == 0) {
        here.push_back(PathTree::kRoot);
      } else {
        for (const std::size_t parent : stack_[depth - 1]) {
          auto [first, last] = tree_.by_index_.equal_range({parent, v.index});
          for (; first != last; ++first) here.push_back(first->second);
        }
      }
    }
    for (const std::size_t node : stack_[depth]) {
      PathTree::Place& place = tree_.nodes_[node].place;
      place = PathTree::Place{true, v.start, v.token_length(), 0, 0};
      tree_.nodes_[node].found_by_name = v.is_member();
      if (v.is_member()) {
        place.name_start = v.name_start;
        place.name_length = v.name_end - v.name_start;
      }
    }
  }

  void ended(WalkPath path) override {
    for (const std::size_t node : stack_[path.size() - 1])
      tree_.nodes_[node].place.length = path.back().token_length();
  }

 private:
  std::vector<std::size_t>& at_depth(std::size_t depth) {
    if (stack_.size() <= depth) stack_.resize(depth + 1);
    stack_[depth].clear();
    return stack_[depth];
  }

  PathTree& tree_;
  std::vector<std::vector<std::size_t>> stack_;
};

PathTree::PathTree() { nodes_.emplace_back(); }

std::size_t PathTree::member(std::size_t parent, std::string_view name) {
  nodes_.push_back(Node{parent, std::string(name), 0, true, false, false, {}});
  by_name_.emplace(std::pair<std::size_t, std::string>(parent, name), nodes_.size() - 1);
  return nodes_.size() - 1;
}

std::size_t PathTree::element(std::size_t parent, std::size_t index) {
  nodes_.push_back(Node{parent, {}, index, false, true, false, {}});
  by_index_.emplace(std::pair<std::size_t, std::size_t>(parent, index), nodes_.size() - 1);
  return nodes_.size() - 1;
}

std::size_t PathTree::member_or_element(std::size_t parent, std::string_view name, std::size_t index) {
  nodes_.push_back(Node{parent, std::string(name), index, true, true, false, {}});
  by_name_.emplace(std::pair<std::size_t, std::string>(parent, name), nodes_.size() - 1);
  by_index_.emplace(std::pair<std::size_t, std::size_t>(parent, index), nodes_.size() - 1);
  return nodes_.size() - 1;
}

void PathTree::place_all(std::string_view text, int depth, std::uint64_t& steps) {
  TreePlacer placer(*this);
  (void)walk_text(text, depth, placer, steps);
}

std::string PathTree::pointer(std::size_t node) const {
  std::vector<std::size_t> steps;
  for (std::size_t at = node; at != kRoot; at = nodes_[at].parent) steps.push_back(at);
  std::string out;
  // NOLINTNEXTLINE(modernize-loop-convert): no std::views::reverse under clang 14 with libstdc++ 12
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    const Node& step = nodes_[*it];
    if (step.by_name && (!step.by_index || step.found_by_name)) {
      append_pointer_token(out, step.name);
    } else {
      append_pointer_token(out, std::to_string(step.index));
    }
  }
  return out;
}

}  // namespace lantor::diagnose
