// Lines and columns of byte offsets, counted in bytes, characters and UTF-16
// units.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/base/text_position.h"

namespace lantor {
namespace {

struct PositionCase {
  std::string text;
  std::size_t offset;
  LineColumn want;  // line, byte, character and UTF-16 columns
};

// "é" is 2 bytes, "€" 3, "😀" 4 (two UTF-16 units).
const PositionCase kCases[] = {
    {"", 0, {1, 1, 1, 1}},
    {"abc", 2, {1, 3, 3, 3}},
    {"a\nbc", 1, {1, 2, 2, 2}},  // the line feed ends its line
    {"a\nbc", 2, {2, 1, 1, 1}},
    {"a\r\nb", 2, {1, 3, 3, 3}},  // a carriage return is the line's last character
    {"a\r\nb", 3, {2, 1, 1, 1}},
    {"\t\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x", 10, {1, 11, 5, 6}},
    {"\xC3\xA9x", 1, {1, 2, 1, 1}},              // inside "é": the character itself, but bytes to the offset
    {"\"\\u00\xE4\xB8\xAD\"", 7, {1, 8, 6, 6}},  // inside a three-byte character, at its last byte
    {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 6, {1, 7, 2, 3}},
    {"ab", 9, {1, 3, 3, 3}},  // past the end: the end
    {"x\n\xC3\xA9\n\xC3\xA9y", 7, {3, 3, 2, 2}},
};

TEST(TextPosition, CountsLinesAndColumnsThreeWays) {
  for (const PositionCase& c : kCases)
    EXPECT_EQ(line_column(c.text, c.offset), c.want) << c.text << " @" << c.offset;
}

TEST(TextPosition, ManyOffsetsInOnePassAgreeWithOneEach) {
  const std::string text = "{\n  \"s\": \"\xC3\xA9\xF0\x9F\x98\x80\",\n\t\"t\": 1\n}";
  const std::vector<std::size_t> offsets = {30, 0, 12, 12, 5, 11, 40, 22};
  const std::vector<LineColumn> many = line_columns(text, offsets);
  ASSERT_EQ(many.size(), offsets.size());
  for (std::size_t i = 0; i < offsets.size(); ++i)
    EXPECT_EQ(many[i], line_column(text, offsets[i])) << offsets[i];
}

}  // namespace
}  // namespace lantor
