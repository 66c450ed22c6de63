// A JSON text read again to learn where its values stand. The walk tells a
// listener of each value as it begins and ends, with the values open around
// it, and keeps nothing once a value has ended: it costs the text's depth in
// memory, not its size, however many values the text holds. Only failures
// and the strategy checker read a text this way; the compile path never does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/request/tables.h"

namespace lantor::diagnose {

inline constexpr std::size_t kNoPlace = SIZE_MAX;

// A strategy stands as deep in a compile command as the members leading to
// it; read alone, it is read as deep.
inline constexpr int kStrategyDepth = static_cast<int>(std::size(request::kStrategyPath));

struct WalkFrame {
  enum class Kind : std::uint8_t { Scalar, Array, Object };
  Kind kind = Kind::Scalar;
  std::size_t start = kNoPlace;       // the value's first byte, once it has begun
  std::size_t end = kNoPlace;         // one past its last byte, once it has ended
  std::size_t name_start = kNoPlace;  // a member's name, quotes included
  std::size_t name_end = kNoPlace;
  std::string name;       // a member's name, decoded
  std::size_t index = 0;  // an element's position in its array (a member's among its object's members)
  std::size_t count = 0;  // the elements or members begun so far, for an array or an object

  bool is_member() const { return name_start != kNoPlace; }
  // Where the value's text begins: a member at its name.
  std::size_t begin() const { return is_member() ? name_start : start; }
  // The bytes of the token at its start: a scalar whole, a container's
  // opening bracket.
  std::size_t token_length() const;
};

// The values open around the current one, outermost first; the current one
// is the last.
using WalkPath = std::span<const WalkFrame>;

class WalkListener {
 public:
  // The last frame is a member whose name has just been read; its value has
  // not begun.
  virtual void named(WalkPath /*path*/) {}
  // The last frame's value has begun: its start and kind are known.
  virtual void began(WalkPath /*path*/) {}
  // The last frame's value has ended.
  virtual void ended(WalkPath /*path*/) {}

 protected:
  ~WalkListener() = default;
};

// Walks the value of `text` with `depth` levels of nesting open around it,
// up to its end or the reader's first failure. Returns the frames still open
// when the walk stopped: none after a whole value (or a text of whitespace),
// the unfinished values after a failure, outermost first. Counts the values
// it walked into `steps`; the offset of a failure goes to `failed_at` when
// given.
std::vector<WalkFrame> walk_text(std::string_view text, int depth, WalkListener& listener,
                                 std::uint64_t& steps, std::size_t* failed_at = nullptr);

// A string's text (its quotes included) decoded; one that does not decode (a
// lone surrogate escape, bytes that are not UTF-8) as it stands between its
// quotes.
std::string decoded_string(std::string_view quoted);

// The JSON Pointer of the last frame of `path`, from the first ("" for the
// first itself).
std::string pointer_of(WalkPath path);

// One token of a JSON Pointer, with "~" written "~0" and "/" written "~1",
// appended to `out` after a "/".
void append_pointer_token(std::string& out, std::string_view token);

}  // namespace lantor::diagnose
