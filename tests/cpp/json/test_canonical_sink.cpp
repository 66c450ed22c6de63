// The canonical writer puts bytes straight into the string's storage and
// grows it as it goes: documents of any size, appended after text already
// there, must come out whole, with escaped strings and long number spellings
// in place.
#include <gtest/gtest.h>

#include <string>

#include "core/json/canonical.h"
#include "core/json/parse.h"

namespace lantor::json {
namespace {

TEST(CanonicalSink, AppendsAfterExistingText) {
  auto v = parse_json(R"({"b":[0.30000000000000004,-12,1e300],"a\n":"q\"\u0001","c":null})");
  ASSERT_TRUE(v);
  std::string out = "prefix:";
  append_canonical(out, *v);
  EXPECT_EQ(out,
            R"(prefix:{"a\n":"q\"\u0001","b":[0.30000000000000004,-12,1e+300],"c":null})");
}

TEST(CanonicalSink, LargeDocumentsGrowWhole) {
  std::string text = "[";
  std::string expected = "[";
  for (int i = 0; i < 5000; ++i) {
    if (i) {
      text += ",";
      expected += ",";
    }
    text += "{\"z\":" + std::to_string(i) + ",\"a\":\"row " + std::to_string(i) + "\",\"t\":true}";
    expected += "{\"a\":\"row " + std::to_string(i) + "\",\"t\":true,\"z\":" + std::to_string(i) + "}";
  }
  text += "]";
  expected += "]";
  auto v = parse_json(text);
  ASSERT_TRUE(v);
  EXPECT_EQ(canonical_json(*v), expected);
  std::string small;
  append_canonical(small, Value::boolean(false));
  EXPECT_EQ(small, "false");
}

}  // namespace
}  // namespace lantor::json
