// Helpers shared by the strategy tests: JSON text in, the validation's
// outcome out ("" for a valid document, otherwise the error text).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/json/parse.h"
#include "core/strategy/strategy.h"

namespace lantor::strategy::testing {

inline json::Value parse(std::string_view text) {
  auto v = json::parse_json(text);
  EXPECT_TRUE(v.ok()) << text << ": " << (v.ok() ? "" : v.error());
  return v.ok() ? std::move(v).value() : json::Value();
}

// A valid document with every required member and nothing else.
inline constexpr std::string_view kMinimal = R"({
  "symbol": "BTC-USDT", "timeframe": "1h", "indicators": {},
  "entry": {"in_position": false}, "exit": {"in_position": true},
  "sizing": {"type": "fixed_qty", "qty": 1}})";

inline std::string outcome(const json::Value& v) {
  auto spec = parse_strategy(v);
  return spec.ok() ? std::string() : spec.error();
}

inline std::string outcome(std::string_view text) { return outcome(parse(text)); }

// The minimal document with member `name` set to the value of `value_text`.
inline json::Value with_member(std::string_view name, std::string_view value_text) {
  json::Value doc = parse(kMinimal);
  doc.as_object().set(std::string(name), parse(value_text));
  return doc;
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
inline constexpr const char* kOperandMismatch =
    "data did not match any variant of untagged enum Operand";

}  // namespace lantor::strategy::testing
