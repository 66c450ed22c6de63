// Helpers shared by the strategy tests: JSON text in, the validation's
// outcome out ("" for a valid document, otherwise the error text).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/json/tape_reader.h"
#include "core/strategy/strategy.h"

namespace lantor::strategy::testing {

// `text` read onto a tape the way a request's strategy is read; `depth`
// levels open around it (a very low one lets a test go deeper than any
// request can).
inline json::Tape parse(std::string_view text, int depth = 0) {
  json::Reader r(text);
  json::Tape tape;
  json::ReadStatus s = json::read_tape(r, depth, tape);
  EXPECT_TRUE(s.ok()) << text << ": " << (s.ok() ? "" : json::positioned(text, s.error()));
  return tape;
}

// The typed document of `text`, or the failure.
inline Result<StrategySpec, schema::Error> typed(std::string_view text, int depth = 0) {
  const json::Tape tape = parse(text, depth);
  return parse_strategy(tape.root());
}

// A valid document with every required member and nothing else.
inline constexpr std::string_view kMinimal = R"({
  "symbol": "BTC-USDT", "timeframe": "1h", "indicators": {},
  "entry": {"in_position": false}, "exit": {"in_position": true},
  "sizing": {"type": "fixed_qty", "qty": 1}})";

inline std::string outcome(std::string_view text, int depth = 0) {
  auto spec = typed(text, depth);
  return spec.ok() ? std::string() : spec.error().message;
}

// The minimal document with member `name` set to the value of `value_text`:
// written last, it takes the place of a member of that name, if any, as a
// repeated name does.
inline std::string with_member(std::string_view name, std::string_view value_text) {
  std::string text(kMinimal);
  text.insert(text.size() - 1, ", \"" + std::string(name) + "\": " + std::string(value_text));
  return text;
}

// The outcome of the minimal document with its entry rule replaced.
inline std::string entry_outcome(std::string_view condition) {
  return outcome(with_member("entry", condition));
}

// The outcome of an entry rule that compares `operand` with 0.
inline std::string operand_outcome(std::string_view operand) {
  return entry_outcome("{\"gt\": [" + std::string(operand) + ", 0]}");
}

// One row of a table: an input and the expected outcome ("" means valid).
struct Row {
  const char* input;
  const char* expected;
};

inline constexpr const char* kValid = "";
inline constexpr const char* kOperandMismatch = "data did not match any variant of untagged enum Operand";

}  // namespace lantor::strategy::testing
