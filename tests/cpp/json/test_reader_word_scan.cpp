// Strings are scanned eight bytes at a time: whatever byte ends a run (the
// quote, a backslash, a control, a non-ASCII byte) must be found at its exact
// place whichever position it takes in a word, both when reading a string
// and when skipping one.
#include <gtest/gtest.h>

#include <string>

#include "core/json/reader.h"

namespace lantor::json {
namespace {

// `"` + `len` letters with `stop` put at `at` (when at < len) + the tail.
std::string quoted(std::size_t len, std::size_t at, std::string_view stop) {
  std::string s = "\"";
  for (std::size_t i = 0; i < len; ++i) {
    if (i == at)
      s += stop;
    else
      s += static_cast<char>('a' + i % 26);
  }
  s += '"';
  return s;
}

TEST(ReaderWordScan, ReadsEveryLengthWhole) {
  for (std::size_t len = 0; len < 40; ++len) {
    std::string text = quoted(len, len, "");
    Reader r(text);
    std::string out;
    ASSERT_TRUE(r.read_string(out)) << len;
    EXPECT_EQ(out, text.substr(1, len));
    EXPECT_EQ(r.offset(), text.size());
    Reader skip(text);
    ASSERT_TRUE(skip.skip_value()) << len;
    EXPECT_EQ(skip.offset(), text.size());
  }
}

TEST(ReaderWordScan, FindsAControlAtEachPlace) {
  for (std::size_t len = 1; len < 30; ++len) {
    for (std::size_t at = 0; at < len; ++at) {
      std::string text = quoted(len, at, "\x01");
      Reader r(text);
      std::string out;
      auto s = r.read_string(out);
      ASSERT_FALSE(s);
      EXPECT_EQ(s.error().message, msg::kControlChar);
      EXPECT_EQ(s.error().offset, at + 2) << len << " " << at;
      Reader skip(text);
      auto k = skip.skip_value();
      ASSERT_FALSE(k);
      EXPECT_EQ(k.error().offset, at + 2) << len << " " << at;
    }
  }
}

TEST(ReaderWordScan, DecodesEscapesAndUtf8AtEachPlace) {
  for (std::size_t len = 1; len < 30; ++len) {
    for (std::size_t at = 0; at < len; ++at) {
      std::string escaped = quoted(len, at, "\\n");
      Reader r(escaped);
      std::string out;
      ASSERT_TRUE(r.read_string(out));
      EXPECT_EQ(out, quoted(len, at, "\n").substr(1, len));
      Reader skip(escaped);
      ASSERT_TRUE(skip.skip_value());
      EXPECT_EQ(skip.offset(), escaped.size());

      std::string utf8 = quoted(len, at, "\xC3\xA9");  // é
      Reader u(utf8);
      ASSERT_TRUE(u.read_string(out));
      EXPECT_EQ(out, utf8.substr(1, utf8.size() - 2));

      std::string bad = quoted(len, at, "\xFF");
      Reader b(bad);
      auto s = b.read_string(out);
      ASSERT_FALSE(s);
      EXPECT_EQ(s.error().message, msg::kInvalidCodePoint);
      EXPECT_EQ(s.error().offset, at + 2) << len << " " << at;
    }
  }
}

TEST(ReaderWordScan, UnterminatedStringsEndAtTheEnd) {
  for (std::size_t len = 0; len < 20; ++len) {
    std::string text = quoted(len, len, "");
    text.pop_back();
    Reader r(text);
    std::string out;
    auto s = r.read_string(out);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.error().message, msg::kEofString);
    EXPECT_EQ(s.error().offset, text.size());
  }
}

}  // namespace
}  // namespace lantor::json
