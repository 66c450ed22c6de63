// check goes on past each failure a record can go past and lists them all,
// each at its own place; the compile, which stops at the first, answers the
// first of them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/diagnose/diagnose.h"

namespace lantor::diagnose {
namespace {

std::vector<std::pair<Code, std::string>> errors_of(const std::string& text) {
  std::vector<std::pair<Code, std::string>> out;
  for (const Finding& f : check_strategy(text))
    if (f.severity == Severity::Error) out.emplace_back(f.code, f.pointer);
  return out;
}

TEST(EveryError, EachRecoverableFailureIsListedAtItsPlace) {
  const std::string text =
      R"({"symbol": 5, "indicators": {"rsi": {"type": "rsi", "params": ["x"]}, "ema": {"params": [3]}},)"
      R"( "entry": {"lt": ["rsi", 30]}, "exit": {"gt": ["ema", 70]}, "sizing": {"type": "fixed_fractoin"}})";
  const std::vector<std::pair<Code, std::string>> expected = {
      {Code::MissingField, ""},  // `timeframe`, at the document
      {Code::InvalidType, "/symbol"},
      {Code::InvalidType, "/indicators/rsi/params/0"},
      {Code::MissingField, "/indicators/ema"},  // `type`
      {Code::UnknownVariant, "/sizing/type"},
  };
  EXPECT_EQ(errors_of(text), expected);

  // The compile fails on the first failure in reading order, the symbol's,
  // which check lists at its own place.
  const std::optional<Finding> compiled = locate_compile_failure(
      R"({"cmd":"compile","dry_run":true,"spec":{"strategy":)" + text + R"(,"target":{"kind":"wasm"}}})");
  ASSERT_TRUE(compiled);
  EXPECT_EQ(compiled->message, "invalid type: integer `5`, expected a string");
  EXPECT_EQ(compiled->pointer, "/spec/strategy/symbol");
}

TEST(EveryError, AFailureNoRecordCanGoPastStillEndsTheReading) {
  // The root is no record: nothing to go on with.
  EXPECT_EQ(errors_of("[5]").size(), 1U);
  EXPECT_EQ(errors_of(R"({"symbol": "X",})").size(), 1U);  // not JSON
}

}  // namespace
}  // namespace lantor::diagnose
