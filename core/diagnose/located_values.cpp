#include "core/diagnose/located_values.h"

#include <cstdint>

namespace lantor::diagnose {
namespace {

// Keeps each value as the walk meets it: a member from its name on, an
// element or the root from its first byte. `open_` holds the positions of
// the values not yet ended, as the walk's frames do.
class Keeper final : public WalkListener {
 public:
  Keeper(std::string_view text, std::vector<LocatedValue>& out) : text_(text), out_(out) {}

  void named(WalkPath path) override {
    LocatedValue& v = add(path.back());
    v.name_start = path.back().name_start;
    v.name_end = path.back().name_end;
    v.name = path.back().name;
  }

  void began(WalkPath path) override {
    const WalkFrame& frame = path.back();
    LocatedValue& v = frame.is_member() ? out_[open_.back()] : add(frame);
    v.start = frame.start;
    v.kind = frame.kind;
  }

  void ended(WalkPath path) override {
    LocatedValue& v = out_[open_.back()];
    v.end = path.back().end;
    if (v.kind == WalkFrame::Kind::Scalar && text_[v.start] == '"')
      v.string = decoded_string(text_.substr(v.start, v.end - v.start));
    open_.pop_back();
  }

 private:
  LocatedValue& add(const WalkFrame& frame) {
    LocatedValue& v = out_.emplace_back();
    v.parent = open_.empty() ? kNoPlace : open_.back();
    v.index = frame.index;
    open_.push_back(out_.size() - 1);
    return v;
  }

  std::string_view text_;
  std::vector<LocatedValue>& out_;
  std::vector<std::size_t> open_;
};

}  // namespace

LocatedValues locate_values(std::string_view text) {
  LocatedValues located;
  Keeper keeper(text, located.values);
  std::uint64_t steps = 0;
  const std::vector<WalkFrame> open = walk_text(text, kStrategyDepth, keeper, steps, &located.failed_at);
  // A text of whitespace holds no value: it failed where it ends.
  if (located.values.empty()) located.failed_at = text.size();
  (void)open;
  return located;
}

}  // namespace lantor::diagnose
