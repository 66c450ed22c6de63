// Skipping keeps its open brackets in place up to a depth and on the heap
// beyond it: brackets must close in order across that boundary.
#include <gtest/gtest.h>

#include <string>

#include "core/json/reader.h"

namespace lantor::json {
namespace {

// Alternating arrays and objects, `depth` levels deep, around a number.
std::string nested(int depth) {
  std::string open;
  std::string close;
  for (int i = 0; i < depth; ++i) {
    if (i % 2 == 0) {
      open += "[1,";
      close = "]" + close;
    } else {
      open += "{\"k\":";
      close = "}" + close;
    }
  }
  return open + "7" + close;
}

TEST(ReaderSkipDepth, ClosesInOrderAtEveryDepth) {
  for (int depth : {1, 63, 64, 65, 66, 200, 1000}) {
    std::string text = nested(depth);
    Reader r(text);
    ASSERT_TRUE(r.skip_value()) << depth;
    EXPECT_EQ(r.offset(), text.size());
  }
}

TEST(ReaderSkipDepth, WrongBracketIsFoundAtEveryDepth) {
  for (int depth : {2, 64, 65, 66, 130}) {
    std::string text = nested(depth);
    // The innermost closing bracket swapped for the other kind.
    std::size_t first_close = text.find_first_of("]}");
    text[first_close] = text[first_close] == ']' ? '}' : ']';
    Reader r(text);
    auto s = r.skip_value();
    ASSERT_FALSE(s) << depth;
    EXPECT_EQ(s.error().offset, first_close + 1) << depth;
  }
}

}  // namespace
}  // namespace lantor::json
