#include "core/diagnose/tape_path.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace lantor::diagnose {
namespace {

constexpr std::size_t kNoNode = SIZE_MAX;

class TapeWalk {
 public:
  TapeWalk(std::span<const json::TapeSlot* const> targets, PathTree& tree, std::size_t root_node,
           std::uint64_t& steps)
      : tree_(tree), root_node_(root_node), steps_(steps), out_(targets.size(), root_node) {
    for (std::size_t i = 0; i < targets.size(); ++i) sorted_.emplace_back(targets[i], i);
    std::sort(sorted_.begin(), sorted_.end());
  }

  std::vector<std::size_t> run(json::Node root) {
    while (next_ < sorted_.size() && sorted_[next_].first < root.slot()) ++next_;
    visit(root);
    return std::move(out_);
  }

 private:
  struct Step {
    std::string_view name;
    std::size_t index = 0;
    bool is_name = false;
    std::size_t node = kNoNode;
  };

  // The targets at `slot` get the path walked so far.
  void hit(const json::TapeSlot* slot) {
    while (next_ < sorted_.size() && sorted_[next_].first == slot) out_[sorted_[next_++].second] = node();
  }

  bool ahead_within(json::Node v) const {
    return next_ < sorted_.size() && sorted_[next_].first < v.slot() + v.slot()->span();
  }

  void visit(json::Node v) {
    ++steps_;
    hit(v.slot());
    if (!ahead_within(v)) return;
    if (v.is_array()) {
      std::size_t i = 0;
      for (const json::Node e : v.elements()) {
        if (ahead_within(e)) {
          path_.push_back(Step{{}, i, false});
          visit(e);
          path_.pop_back();
        }
        ++i;
      }
    } else if (v.is_object()) {
      for (const json::MemberRef m : v.members()) {
        hit(m.value.slot() - 1);
        if (!ahead_within(m.value)) continue;
        path_.push_back(Step{m.name, 0, true});
        visit(m.value);
        path_.pop_back();
      }
    }
  }

  // The node of the path walked so far, adding the steps not in the tree yet.
  std::size_t node() {
    std::size_t parent = root_node_;
    for (Step& step : path_) {
      if (step.node == kNoNode)
        step.node = step.is_name ? tree_.member(parent, step.name) : tree_.element(parent, step.index);
      parent = step.node;
    }
    return parent;
  }

  PathTree& tree_;
  std::size_t root_node_;
  std::uint64_t& steps_;
  std::vector<std::size_t> out_;
  std::vector<std::pair<const json::TapeSlot*, std::size_t>> sorted_;
  std::size_t next_ = 0;
  std::vector<Step> path_;
};

}  // namespace

std::vector<std::size_t> tape_nodes(json::Node root, std::span<const json::TapeSlot* const> targets,
                                    PathTree& tree, std::size_t root_node, std::uint64_t& steps) {
  return TapeWalk(targets, tree, root_node, steps).run(root);
}

}  // namespace lantor::diagnose
