#include "core/base/text_position.h"

#include <algorithm>
#include <numeric>

namespace lantor {
namespace {

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Counts forward from one place to a later one.
class Walker {
 public:
  explicit Walker(std::string_view text) : text_(text) {}

  LineColumn at(std::size_t offset) {
    const std::size_t to = character_start(text_, offset);
    for (; pos_ < to; ++pos_) {
      const auto b = static_cast<unsigned char>(text_[pos_]);
      if (b == '\n') {
        now_.line += 1;
        now_.char_column = 1;
        now_.utf16_column = 1;
        line_start_ = pos_ + 1;
      } else if (!is_continuation(b)) {
        now_.char_column += 1;
        // A four-byte sequence is a code point past U+FFFF: a surrogate pair.
        now_.utf16_column += b >= 0xF0 && b <= 0xF4 ? 2 : 1;
      }
    }
    now_.byte_column = std::min(offset, text_.size()) - line_start_ + 1;
    return now_;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t line_start_ = 0;
  LineColumn now_;
};

}  // namespace

std::size_t character_start(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return text.size();
  for (int back = 0; back < 3 && offset > 0 && is_continuation(static_cast<unsigned char>(text[offset]));
       ++back)
    --offset;
  return offset;
}

LineColumn line_column(std::string_view text, std::size_t offset) { return Walker(text).at(offset); }

std::vector<LineColumn> line_columns(std::string_view text, std::span<const std::size_t> offsets) {
  std::vector<std::size_t> order(offsets.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return offsets[a] < offsets[b]; });
  std::vector<LineColumn> out(offsets.size());
  Walker walker(text);
  for (const std::size_t i : order) out[i] = walker.at(offsets[i]);
  return out;
}

}  // namespace lantor
