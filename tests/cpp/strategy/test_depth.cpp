// Deep nesting: everything the JSON reader can produce is validated in full,
// and a deeper value built in code is refused instead of exhausting the stack.
#include <string>

#include "strategy_test_support.h"

namespace lantor::strategy::testing {
namespace {

// `count` nested "not" conditions around `innermost`.
std::string nested_nots(int count, const std::string& innermost) {
  std::string text;
  for (int i = 0; i < count; ++i) text += R"({"not": )";
  text += innermost;
  text.append(count, '}');
  return text;
}

// `count` nested "add" expressions around the operand `innermost`.
std::string nested_adds(int count, const std::string& innermost) {
  std::string text;
  for (int i = 0; i < count; ++i) text += R"({"add": [)";
  text += innermost;
  for (int i = 0; i < count; ++i) text += ", 1]}";
  return text;
}

// A document whose entry rule is `entry`, parsed from text so that the
// reader's nesting limit applies (the document itself is level 1). The
// entry member written last replaces the minimal document's one.
std::string document_outcome(const std::string& entry) {
  std::string text(kMinimal);
  text.insert(text.size() - 1, ", \"entry\": " + entry);
  auto v = json::parse_json(text);
  if (!v.ok()) return "reader: " + v.error();
  return outcome(*v);
}

TEST(Depth, DeepestReadableValuesAreValidatedInFull) {
  // The entry rule is level 2, so 125 nots put the innermost condition at
  // level 127, the reader's limit.
  EXPECT_EQ(document_outcome(nested_nots(125, R"({"in_position": true})")), kValid);
  EXPECT_EQ(document_outcome(nested_nots(125, R"({"in_position": 1})")),
            "invalid type: integer `1`, expected a boolean");
  // {"gt": [...]} puts the operand at level 4; each "add" adds an object and
  // an array, so 62 of them put the innermost array at level 127.
  EXPECT_EQ(document_outcome(R"({"gt": [)" + nested_adds(62, R"("a")") + ", 0]}"), kValid);
  EXPECT_EQ(document_outcome(R"({"gt": [)" + nested_adds(62, "null") + ", 0]}"),
            kOperandMismatch);
  // One level more is refused by the reader itself.
  EXPECT_NE(document_outcome(nested_nots(126, R"({"in_position": true})")).find("reader: "),
            std::string::npos);
}

json::Value built_nots(int count) {
  json::Object leaf;
  leaf.push_unique("in_position", json::Value::boolean(true));
  json::Value v = json::Value::object(std::move(leaf));
  for (int i = 0; i < count; ++i) {
    json::Object outer;
    outer.push_unique("not", std::move(v));
    v = json::Value::object(std::move(outer));
  }
  return v;
}

json::Value built_adds(int count) {
  json::Value v = json::Value::string("a");
  for (int i = 0; i < count; ++i) {
    json::Array pair;
    pair.push_back(std::move(v));
    pair.push_back(json::Value::uint(1));
    json::Object add;
    add.push_unique("add", json::Value::array(std::move(pair)));
    v = json::Value::object(std::move(add));
  }
  return v;
}

TEST(Depth, DeeperValuesBuiltInCodeAreRefused) {
  json::Value doc = parse(kMinimal);
  doc.as_object().set("entry", built_nots(3000));
  EXPECT_EQ(outcome(doc), "recursion limit exceeded");

  json::Array pair;
  pair.push_back(built_adds(3000));
  pair.push_back(json::Value::uint(0));
  json::Object gt;
  gt.push_unique("gt", json::Value::array(std::move(pair)));
  doc.as_object().set("entry", json::Value::object(std::move(gt)));
  EXPECT_EQ(outcome(doc), kOperandMismatch);
}

}  // namespace
}  // namespace lantor::strategy::testing
