// A JSON text read again to learn where each of its values stands: the
// first and last byte of every value, the name and place of every member,
// and the value's parent. Only failures and the strategy checker read a text
// this way; the compile path never does. A text that breaks off (a syntax
// error, too deep a nesting) keeps every value read up to the break, the
// unfinished ones open-ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lantor::diagnose {

inline constexpr std::size_t kNoValue = SIZE_MAX;

struct LocatedValue {
  enum class Kind : std::uint8_t { Scalar, Array, Object };
  Kind kind = Kind::Scalar;
  std::size_t start = 0;          // the value's first byte
  std::size_t end = kNoValue;     // one past its last byte; kNoValue if it breaks off
  std::size_t parent = kNoValue;  // the enclosing array or object
  // A member's name (decoded) and where it stands, quotes included; an
  // element's position among its array's elements, in decimal.
  std::string token;
  std::size_t name_start = kNoValue;
  std::size_t name_end = kNoValue;
  std::vector<std::size_t> children;  // in document order, repeated names included

  bool is_member() const { return name_start != kNoValue; }
};

class LocatedText {
 public:
  // Reads `text`, starting with `depth` levels of nesting open around it.
  explicit LocatedText(std::string_view text, int depth = 0);

  const std::vector<LocatedValue>& values() const { return values_; }
  const LocatedValue& operator[](std::size_t i) const { return values_[i]; }
  // The whole text's value, or kNoValue for a text with none.
  std::size_t root() const { return values_.empty() ? kNoValue : 0; }

  // The member `name` of an object (its last occurrence, whose value counts)
  // or the element at position `name` of an array; kNoValue if there is none.
  std::size_t child(std::size_t value, std::string_view name) const;
  // The same, for the member of an object or else element `index` of an array.
  std::size_t member_or_element(std::size_t value, std::string_view name, std::size_t index) const;
  // Follows `tokens` down from `from`; kNoValue where one leads nowhere.
  std::size_t resolve(std::size_t from, const std::vector<std::string>& tokens) const;

  // The JSON Pointer of a value from the root ("" for the root).
  std::string pointer(std::size_t value) const;

  // Where a reader that gave up at byte `offset` was looking: the innermost
  // value ending there, else the member whose name ends there, else the
  // value starting there, else the innermost value around it (kNoValue if
  // none).
  struct Place {
    std::size_t value = kNoValue;
    std::size_t offset = 0;  // the value's (or member name's) first byte
    bool around = false;     // only found as the innermost value around
  };
  Place place_of(std::size_t offset) const;

 private:
  std::vector<LocatedValue> values_;
};

// One token of a JSON Pointer, with "~" written "~0" and "/" written "~1".
std::string escape_pointer_token(std::string_view token);

}  // namespace lantor::diagnose
