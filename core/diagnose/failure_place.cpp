#include "core/diagnose/failure_place.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "core/base/text_position.h"
#include "core/base/utf8.h"
#include "core/diagnose/text_walk.h"
#include "core/json/reader.h"

namespace lantor::diagnose {
namespace {

// The bytes of the character at `offset` (none at the end).
std::size_t character_length(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return 0;
  char32_t cp = 0;
  return std::max<std::size_t>(decode_utf8(text.substr(offset), cp), 1);
}

// The candidates for the place of offset `at`, as the walk passes them. With
// `only_around`, a value ending there or a member named just before it does
// not count: the reader was looking at the byte itself.
class Finder final : public WalkListener {
 public:
  Finder(std::size_t at, bool only_around) : at_(at), only_around_(only_around) {}

  void named(WalkPath path) override {
    if (!only_around_ && !name_end_ && path.back().name_end == at_)
      name_end_ =
          TextPlace{pointer_of(path), path.back().name_start, path.back().name_end - path.back().name_start};
  }

  void began(WalkPath path) override {
    if (!starts_ && path.back().start == at_) {
      starts_ = TextPlace{pointer_of(path), at_, 0};
      starts_depth_ = path.size();
    }
  }

  void ended(WalkPath path) override {
    const WalkFrame& v = path.back();
    if (starts_ && starts_depth_ == path.size() && starts_->offset == v.start)
      starts_->length = v.token_length();
    if (!only_around_ && v.end == at_ && v.start < at_) ended_at(path);
    // The first value to end around the offset is the innermost.
    if (!around_ && v.begin() <= at_ && at_ < v.end) around_ = TextPlace{pointer_of(path), at_, 0};
  }

  // The place found, given the frames left open when the walk stopped.
  std::optional<TextPlace> place(WalkPath open, bool& around) const {
    around = false;
    if (ended_) return ended_;
    if (name_end_) return name_end_;
    if (starts_) return starts_;
    around = true;
    if (around_) return around_;
    for (std::size_t i = open.size(); i-- > 0;)
      if (open[i].begin() <= at_) return TextPlace{pointer_of(open.first(i + 1)), at_, 0};
    return std::nullopt;
  }

 private:
  void ended_at(WalkPath path) {
    const WalkFrame& v = path.back();
    ended_ = TextPlace{pointer_of(path), v.start, v.token_length()};
  }

  std::size_t at_;
  bool only_around_;
  std::optional<TextPlace> ended_;
  std::optional<TextPlace> name_end_;
  std::optional<TextPlace> starts_;
  std::size_t starts_depth_ = 0;
  std::optional<TextPlace> around_;
};

// The place of `at` found by a walk over the text, and whether it is only a
// value around it.
struct Found {
  std::optional<TextPlace> place;
  bool around = false;
};

Found find(std::string_view text, int depth, std::size_t at, bool only_around, std::uint64_t& steps) {
  Finder finder(at, only_around);
  const std::vector<WalkFrame> open = walk_text(text, depth, finder, steps);
  Found found;
  found.place = finder.place(open, found.around);
  return found;
}

}  // namespace

TextPlace place_failure(std::string_view text, int depth, const json::ReadError& failure,
                        std::uint64_t& steps) {
  const std::size_t at = failure.offset;
  Found found;
  if (failure.value_at != json::kNoOffset) {
    // The value the failure is about is known: the one starting there.
    found = find(text, depth, failure.value_at, true, steps);
  } else if (failure.kind == ErrorKind::BadUnicode) {
    // The reader stopped inside a string, which a walk as lenient as a
    // reader passing over the value reads past: the place is the byte the
    // reader stopped at, even where that ends the string.
    found.around = true;
  } else {
    found = find(text, depth, at, false, steps);
  }
  if (found.around) {
    // Nothing ends or starts there: the reader gave up on the byte it looked
    // at, which is just before the offset it reports.
    const std::size_t looked_at = character_start(text, at > 0 ? at - 1 : 0);
    found = find(text, depth, looked_at, true, steps);
    if (!found.place) found.place = TextPlace{"", looked_at, 0};
    if (found.around) found.place->length = 0;
  }
  TextPlace place = found.place ? std::move(*found.place) : TextPlace{"", at, 0};
  if (place.length == 0) place.length = character_length(text, place.offset);
  return place;
}

}  // namespace lantor::diagnose
