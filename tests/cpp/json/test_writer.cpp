// The response writer: members in the order written, commas placed
// automatically, per open container; the first levels' state lives in one
// word and deeper ones elsewhere, and commas must come out right on both
// sides of that boundary.
#include <gtest/gtest.h>

#include <string>

#include "core/json/writer.h"

namespace lantor::json {
namespace {

TEST(ResponseWriter, CommasAndNesting) {
  Writer w;
  w.begin_object()
      .key("a")
      .uint(1)
      .key("b")
      .begin_array()
      .string("x")
      .boolean(true)
      .begin_object()
      .end_object();
  w.end_array().key("c").raw("{\"d\":null}").end_object();
  EXPECT_EQ(w.take(), "{\"a\":1,\"b\":[\"x\",true,{}],\"c\":{\"d\":null}}");
}

TEST(ResponseWriter, CommasAtEveryDepth) {
  for (int depth : {1, 63, 64, 65, 100}) {
    Writer w;
    w.begin_array();
    std::string expected = "[";
    for (int i = 0; i < depth; ++i) {
      w.begin_array().uint(1);
      expected += "[1,";
    }
    w.string("x");
    expected += "\"x\"";
    for (int i = 0; i < depth; ++i) {
      w.end_array().uint(2);
      expected += "],2";
    }
    w.end_array();
    expected += "]";
    EXPECT_EQ(w.text(), expected) << depth;
  }
}

TEST(ResponseWriter, ObjectsDeeperThanAWord) {
  Writer w;
  std::string expected;
  for (int i = 0; i < 70; ++i) {
    w.begin_object().key("a").uint(static_cast<std::uint64_t>(i)).key("b");
    expected += "{\"a\":" + std::to_string(i) + ",\"b\":";
  }
  w.boolean(true);
  expected += "true";
  for (int i = 0; i < 70; ++i) {
    w.key("c").uint(3).end_object();
    expected += ",\"c\":3}";
  }
  EXPECT_EQ(w.text(), expected);
}

}  // namespace
}  // namespace lantor::json
