// Deep nesting: everything the JSON reader can produce is validated in full,
// and a deeper tape is refused instead of exhausting the stack.
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

// A document whose entry rule is `entry`, read so that the reader's
// nesting limit applies (the document itself is level 1).
std::string document_outcome(const std::string& entry) {
  const std::string text = with_member("entry", entry);
  json::Reader r(text);
  json::Tape tape;
  if (json::ReadStatus s = json::read_tape(r, 0, tape); !s.ok()) return "reader: " + s.error().message;
  auto spec = parse_strategy(tape.root());
  return spec.ok() ? std::string() : spec.error().message;
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
  EXPECT_EQ(document_outcome(R"({"gt": [)" + nested_adds(62, "null") + ", 0]}"), kOperandMismatch);
  // One level more is refused by the reader itself.
  EXPECT_NE(document_outcome(nested_nots(126, R"({"in_position": true})")).find("reader: "),
            std::string::npos);
}

TEST(Depth, DeeperTapesAreRefusedAtTheReadersLimit) {
  // Read with room for more levels than a request allows, yet few enough that
  // a sanitizer build's larger frames still fit on the stack. The innermost
  // condition at level 127 is as deep as the reader goes; one level more is
  // refused as the reader refuses it.
  constexpr int kRoom = -10'000;
  EXPECT_EQ(outcome(with_member("entry", nested_nots(125, R"({"in_position": true})")), kRoom), kValid);
  auto deeper = typed(with_member("entry", nested_nots(126, R"({"in_position": true})")), kRoom);
  ASSERT_FALSE(deeper.ok());
  EXPECT_EQ(deeper.error().kind, ErrorKind::TooDeep);
  EXPECT_EQ(deeper.error().message, json::msg::kRecursionLimit);
  EXPECT_EQ(outcome(with_member("entry", R"({"gt": [)" + nested_adds(300, R"("a")") + ", 0]}"), kRoom),
            kOperandMismatch);
}

}  // namespace
}  // namespace lantor::strategy::testing
