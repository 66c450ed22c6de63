// UTF-8 checking and repair.
#include <gtest/gtest.h>

#include <string>

#include "core/base/utf8.h"

namespace lantor {
namespace {

struct Utf8Case {
  std::string in, out;
};

TEST(Utf8Lossy, EachInvalidSequenceBecomesOneReplacement) {
  const std::string r = "\xEF\xBF\xBD";
  const Utf8Case cases[] = {
      {"plain", "plain"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"\x80", r},                          // a lone continuation byte
      {"\xC0\xAF", r + r},                  // an overlong lead cannot start anything
      {"\xE0\x80\x80", r + r + r},          // overlong three-byte form
      {"\xED\xA0\x80", r + r + r},          // a surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
      {"\xF0\x9F\x98", r},                  // a truncated character is one replacement
      {"\xF0\x9F\x98x", r + "x"},           // and the breaking byte is read afresh
      {"\xE2\x82\xC3\xA9", r + "\xC3\xA9"},
      {"\xFE\xFF", r + r},
  };
  for (const Utf8Case& c : cases) EXPECT_EQ(utf8_lossy(c.in), c.out) << c.in;
}

TEST(Utf8, DecodesAndValidatesWhatRepairKeeps) {
  char32_t cp = 0;
  EXPECT_EQ(decode_utf8("\xC3\xA9", cp), 2u);
  EXPECT_EQ(cp, U'\u00E9');
  EXPECT_EQ(decode_utf8("\xF0\x9F\x98\x80", cp), 4u);
  EXPECT_EQ(cp, U'\U0001F600');
  for (const char* bad :
       {"\x80", "\xC0\xAF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF0\x9F\x98"}) {
    EXPECT_EQ(decode_utf8(bad, cp), 0u) << bad;
    EXPECT_FALSE(is_valid_utf8(std::string("ok") + bad)) << bad;
  }
  EXPECT_TRUE(is_valid_utf8("plain \xC3\xA9\xE2\x82\xAC"));
  EXPECT_EQ(utf8_tail("a\xC3\xA9", 2), "\xC3\xA9");
  EXPECT_EQ(utf8_tail("a\xC3\xA9", 1), "");
}

}  // namespace
}  // namespace lantor
