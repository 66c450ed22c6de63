// The colon after a member's name: taken at once when it follows the name
// directly, and through the general path after whitespace or on failure,
// with the same results when reading and when skipping.
#include <gtest/gtest.h>

#include <string>

#include "core/json/parse.h"
#include "core/json/reader.h"

namespace lantor::json {
namespace {

struct Case {
  const char* text;
  bool ok;
  std::string_view message;
  std::size_t offset;
};

TEST(ReaderColon, ReadAndSkipAgree) {
  const Case cases[] = {
      {R"({"a":1})", true, "", 7},
      {R"({"a" : 1,"b"	:2})", true, "", 16},
      {R"({"a" 1})", false, msg::kExpectedColon, 6},
      {R"({"a";1})", false, msg::kExpectedColon, 5},
      {R"({"a")", false, msg::kEofObject, 4},
      {R"({"a"  )", false, msg::kEofObject, 6},
      {R"({"a":1,"b"x})", false, msg::kExpectedColon, 11},
  };
  for (const Case& c : cases) {
    Reader read(c.text);
    auto v = read_value(read, 0);
    Reader skip(c.text);
    auto s = skip.skip_value();
    EXPECT_EQ(bool(v), c.ok) << c.text;
    EXPECT_EQ(bool(s), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(read.offset(), c.offset) << c.text;
      EXPECT_EQ(skip.offset(), c.offset) << c.text;
    } else {
      ASSERT_FALSE(v);
      ASSERT_FALSE(s);
      EXPECT_EQ(v.error().message, c.message) << c.text;
      EXPECT_EQ(v.error().offset, c.offset) << c.text;
      EXPECT_EQ(s.error().message, c.message) << c.text;
      EXPECT_EQ(s.error().offset, c.offset) << c.text;
    }
  }
}

}  // namespace
}  // namespace lantor::json
