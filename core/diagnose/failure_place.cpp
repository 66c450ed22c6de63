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

// Whether `message` is about the members a tagged choice set aside (its
// variant's fields, or the elements after its tag), which the reader places
// past the choice, or past the enclosing object when the choice is its last
// member.
bool about_set_aside(std::string_view message) {
  static constexpr std::string_view kTexts[] = {
      "missing field `mcu`", "missing field `path`", "missing field `candles`",
      "struct variant",      "in sequence",          "invalid type",
  };
  return std::any_of(std::begin(kTexts), std::end(kTexts),
                     [&](std::string_view t) { return message.find(t) != std::string_view::npos; });
}

// Whether `message` is about bytes inside a string that the walk, as lenient
// as a reader passing over the value, reads past: the place is the byte the
// reader stopped at, even where that ends the string.
bool about_string_bytes(std::string_view message) {
  return message == json::msg::kLoneSurrogate || message == json::msg::kEndOfHexEscape ||
         message == json::msg::kInvalidCodePoint;
}

// The bytes of the character at `offset` (none at the end).
std::size_t character_length(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return 0;
  char32_t cp = 0;
  return std::max<std::size_t>(decode_utf8(text.substr(offset), cp), 1);
}

// What an object knows of its members for the rule on tagged choices: whether
// one is named "kind", and its last one.
struct Members {
  bool has_kind = false;
  bool any = false;
  WalkFrame::Kind last_kind = WalkFrame::Kind::Scalar;
  std::size_t last_start = 0;
  std::size_t last_length = 0;
  std::string last_token;
};

// The candidates for the place of offset `at`, as the walk passes them. With
// `only_around`, a value ending there or a member named just before it does
// not count: the reader was looking at the byte itself.
class Finder final : public WalkListener {
 public:
  Finder(std::size_t at, bool only_around) : at_(at), only_around_(only_around) {}

  void named(WalkPath path) override {
    if (path.back().name == "kind") members_[path.size() - 2].has_kind = true;
    if (!only_around_ && !name_end_ && path.back().name_end == at_)
      name_end_ =
          TextPlace{pointer_of(path), path.back().name_start, path.back().name_end - path.back().name_start};
  }

  void began(WalkPath path) override {
    if (members_.size() < path.size()) members_.resize(path.size());
    members_[path.size() - 1] = Members{};
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
    if (path.size() >= 2) {
      Members& parent = members_[path.size() - 2];
      parent.any = true;
      parent.last_kind = v.kind;
      parent.last_start = v.start;
      parent.last_length = v.token_length();
      parent.last_token = v.is_member() ? v.name : std::to_string(v.index);
    }
  }

  // The place found, given the frames left open when the walk stopped.
  std::optional<TextPlace> place(std::string_view message, WalkPath open, bool& around) const {
    around = false;
    if (ended_) {
      const Members& m = ended_members_;
      if (ended_kind_ == WalkFrame::Kind::Object && m.any && !m.has_kind &&
          m.last_kind != WalkFrame::Kind::Scalar && about_set_aside(message)) {
        TextPlace last{ended_->pointer, m.last_start, m.last_length};
        append_pointer_token(last.pointer, m.last_token);
        return last;
      }
      return ended_;
    }
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
    ended_kind_ = v.kind;
    if (v.kind == WalkFrame::Kind::Object) ended_members_ = members_[path.size() - 1];
  }

  std::size_t at_;
  bool only_around_;
  std::vector<Members> members_;  // of the open values, by depth
  std::optional<TextPlace> ended_;
  WalkFrame::Kind ended_kind_ = WalkFrame::Kind::Scalar;
  Members ended_members_;
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

Found find(std::string_view text, int depth, std::size_t at, bool only_around, std::string_view message,
           std::uint64_t& steps) {
  Finder finder(at, only_around);
  const std::vector<WalkFrame> open = walk_text(text, depth, finder, steps);
  Found found;
  found.place = finder.place(message, open, found.around);
  return found;
}

}  // namespace

TextPlace place_failure(std::string_view text, int depth, std::size_t at, std::string_view message,
                        std::uint64_t& steps) {
  Found found =
      about_string_bytes(message) ? Found{std::nullopt, true} : find(text, depth, at, false, message, steps);
  if (found.around) {
    // Nothing ends or starts there: the reader gave up on the byte it looked
    // at, which is just before the offset it reports.
    const std::size_t looked_at = character_start(text, at > 0 ? at - 1 : 0);
    found = find(text, depth, looked_at, true, message, steps);
    if (!found.place) found.place = TextPlace{"", looked_at, 0};
    if (found.around) found.place->length = 0;
  }
  TextPlace place = found.place ? std::move(*found.place) : TextPlace{"", at, 0};
  if (place.length == 0) place.length = character_length(text, place.offset);
  return place;
}

}  // namespace lantor::diagnose
