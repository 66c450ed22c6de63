// duplicate-member, found in one walk over the text: each object keeps the
// names of its members while it is open and sorts them when it ends.
#include <algorithm>
#include <numeric>

#include "core/diagnose/lints.h"
#include "core/schema/describe.h"

namespace lantor::diagnose {
namespace {

constexpr std::size_t kNoNode = SIZE_MAX;

struct Member {
  std::string name;
  std::size_t name_start = 0;
  std::size_t name_length = 0;
  std::size_t value_start = kNoPlace;  // kNoPlace until its value begins
};

class Duplicates final : public WalkListener {
 public:
  Duplicates(PathTree& tree, std::vector<Pending>& out) : tree_(tree), out_(out) {}

  void named(WalkPath path) override {
    const WalkFrame& m = path.back();
    open_[path.size() - 2].push_back(Member{m.name, m.name_start, m.name_end - m.name_start, kNoPlace});
  }

  void began(WalkPath path) override {
    const std::size_t depth = path.size() - 1;
    if (open_.size() <= depth) {
      open_.resize(depth + 1);
      nodes_.resize(depth + 1, kNoNode);
    }
    open_[depth].clear();
    nodes_[depth] = depth == 0 ? PathTree::kRoot : kNoNode;
    if (path.back().is_member()) open_[depth - 1].back().value_start = path.back().start;
  }

  void ended(WalkPath path) override {
    if (path.back().kind == WalkFrame::Kind::Object) report(path);
  }

  // The objects the walk left open, innermost first, as if they had ended.
  void report_open(WalkPath open) {
    for (std::size_t n = open.size(); n > 0; --n)
      if (open[n - 1].kind == WalkFrame::Kind::Object && open[n - 1].start != kNoPlace) report(open.first(n));
  }

 private:
  void report(WalkPath path) {
    std::vector<Member>& members = open_[path.size() - 1];
    if (members.size() < 2) return;
    std::vector<std::size_t> order(members.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return members[a].name < members[b].name; });
    for (std::size_t first = 0; first < order.size();) {
      std::size_t last = first;
      while (last + 1 < order.size() && members[order[last + 1]].name == members[order[first]].name) ++last;
      if (last > first) repeated(path, members, std::span(order).subspan(first, last - first + 1));
      first = last + 1;
    }
  }

  // A name given at `at` (positions in document order, the last one counting).
  void repeated(WalkPath path, const std::vector<Member>& members, std::span<const std::size_t> at) {
    const Member& kept = members[at.back()];
    const std::size_t node = tree_.member(node_of(path), kept.name);
    const std::size_t kept_at =
        kept.value_start != kNoPlace ? kept.value_start : kept.name_start + kept.name_length;
    for (const std::size_t i : at.first(at.size() - 1)) {
      const Member& m = members[i];
      Pending pending;
      Finding& f = pending.finding;
      f.code = Code::DuplicateMember;
      f.severity = code_info(f.code).severity;
      f.message = "member " + schema::ticked(m.name) + " is given again later; only its last value counts";
      f.offset = m.name_start;
      f.length = m.name_length;
      f.help = "the value that counts is the one on line ";
      pending.node = node;
      pending.placed = true;
      pending.help_line_at = kept_at;
      out_.push_back(std::move(pending));
    }
  }

  // The tree's node for the last value of `path`, adding the steps it lacks.
  std::size_t node_of(WalkPath path) {
    for (std::size_t d = 1; d < path.size(); ++d) {
      if (nodes_[d] != kNoNode) continue;
      nodes_[d] = path[d].is_member() ? tree_.member(nodes_[d - 1], path[d].name)
                                      : tree_.element(nodes_[d - 1], path[d].index);
    }
    return nodes_[path.size() - 1];
  }

  PathTree& tree_;
  std::vector<Pending>& out_;
  std::vector<std::vector<Member>> open_;  // the members of each open value so far, by depth
  std::vector<std::size_t> nodes_;         // each open value's node, once it has one
};

}  // namespace

void find_duplicate_members(std::string_view text, int depth, PathTree& tree, std::vector<Pending>& out,
                            std::uint64_t& steps) {
  Duplicates duplicates(tree, out);
  const std::vector<WalkFrame> open = walk_text(text, depth, duplicates, steps);
  duplicates.report_open(open);
}

}  // namespace lantor::diagnose
