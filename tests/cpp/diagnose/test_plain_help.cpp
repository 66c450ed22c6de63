// The help a failure gets beside its unchanged message: a did-you-mean for a
// misspelt variant, plain words for the readers' type names, the allowed MCU
// triples. One row per kind of help.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/diagnose/diagnose.h"

namespace lantor::diagnose {
namespace {

// The first finding of `code`, or null.
const Finding* first_of(const std::vector<Finding>& found, Code code) {
  for (const Finding& f : found)
    if (f.code == code) return &f;
  return nullptr;
}

// A sound document whose `sizing` and `warmup` the rows replace.
std::string document(const std::string& sizing, const std::string& rest = "") {
  return R"({"symbol": "BTC-USDT", "timeframe": "1h", "indicators": {"rsi": {"type": "rsi", "params": [14]}},)"
         R"( "entry": {"lt": ["rsi", 30]}, "exit": {"gt": ["rsi", 70]}, "sizing": )" +
         sizing + rest + "}";
}

struct HelpCase {
  const char* name;
  std::string text;
  Code code;
  const char* help;  // a part of the help, or null for none
};

TEST(PlainHelp, EachFailureGetsItsOwnWords) {
  const HelpCase cases[] = {
      {"misspelt variant", document(R"({"type": "fixed_fractoin", "fraction": 0.1})"), Code::UnknownVariant,
       "did you mean `fixed_fraction`?"},
      {"variant near none", document(R"({"type": "kelly", "fraction": 0.1})"), Code::UnknownVariant, nullptr},
      {"u32", document(R"({"type": "fixed_qty", "qty": 1})", R"(, "warmup": -1)"), Code::InvalidValue,
       "`u32` is a whole number from 0 to 4294967295"},
      {"f64", document(R"({"type": "fixed_fraction", "fraction": "0.1"})"), Code::InvalidType,
       "`f64` is a number"},
      {"the document", "5", Code::InvalidType, "`StrategySpec` is the strategy document itself"},
      {"an operand", R"({"entry": {"lt": [{"x": 1}, 30]}})", Code::NoOperandForm,
       "(`untagged enum Operand`) is an indicator's name"},
  };
  for (const HelpCase& c : cases) {
    const std::vector<Finding> found = check_strategy(c.text);
    const Finding* f = first_of(found, c.code);
    ASSERT_NE(f, nullptr) << c.name;
    if (c.help == nullptr) {
      EXPECT_FALSE(f->help) << c.name;
    } else {
      EXPECT_NE(f->help.value_or("").find(c.help), std::string::npos) << c.name;
    }
  }
}

TEST(PlainHelp, AnOperandsHelpStillSaysWhereItsExpressionFails) {
  const std::vector<Finding> found = check_strategy(R"({"entry": {"lt": [{"x": 1}, 30]}})");
  const Finding* f = first_of(found, Code::NoOperandForm);
  ASSERT_NE(f, nullptr);
  EXPECT_NE(f->help.value_or("").find("; read as an expression, it fails at /entry/lt/0: "),
            std::string::npos);
}

TEST(PlainHelp, AnMcuOutsideTheAllowListIsToldTheList) {
  const std::optional<Finding> found = locate_compile_failure(
      R"({"cmd": "compile", "dry_run": true, "spec": {"strategy": )" +
      document(R"({"type": "fixed_qty", "qty": 1})") + R"(, "target": {"kind": "no_std", "mcu": "avr"}}})");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->code, Code::McuNotAllowed);
  EXPECT_EQ(found->pointer, "/spec/target/mcu");
  EXPECT_NE(found->help.value_or("").find("`thumbv6m-none-eabi`, `thumbv7m-none-eabi`"), std::string::npos);
}

}  // namespace
}  // namespace lantor::diagnose
