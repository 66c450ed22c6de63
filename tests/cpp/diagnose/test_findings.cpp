// What the checker reports, one row per kind of finding: its code, severity,
// the JSON Pointer of the value at fault and the byte it starts at (given as
// the first occurrence of a piece of the text, so that a row reads as the
// document it checks). A compile command's failure is placed in the command.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/diagnose/diagnose.h"

namespace lantor::diagnose {
namespace {

// A valid document, with openings for the entry rule, more members and more
// indicators.
std::string document(const std::string& entry = R"({"lt": ["rsi", 30]})", const std::string& more = "",
                     const std::string& indicators = "") {
  return R"({"symbol": "BTC-USDT", "timeframe": "1h", "indicators": {"rsi": {"type": "rsi", "params": [14]})" +
         indicators + R"(}, "entry": )" + entry +
         R"(, "exit": {"gt": ["rsi", 70]}, "sizing": {"type": "fixed_qty", "qty": 1})" + more + "}";
}

// A document whose one fault is that it has no `sizing`.
std::string missing_sizing() {
  std::string text = document();
  const std::string sizing = R"(, "sizing": {"type": "fixed_qty", "qty": 1})";
  return text.erase(text.find(sizing), sizing.size());
}

struct Row {
  std::string text;
  Severity severity;
  const char* code;
  const char* pointer;
  const char* at;  // the text from the offset on starts with this
};

TEST(Findings, EachKindIsPlacedAtItsValue) {
  const std::vector<Row> rows = {
      {R"({"symbol": "X",})", Severity::Error, "syntax", "", "}"},
      {missing_sizing(), Severity::Error, "missing-field", "", R"({"symbol")"},
      {document(R"({"lt": ["rsi", 30]})", R"(, "warmup": -1)"), Severity::Error, "invalid-value", "/warmup",
       "-1"},
      {document(R"({"lt": ["rsi", 30]})", R"(, "warmup": 2.0)"), Severity::Error, "invalid-type", "/warmup",
       "2.0"},
      {document(R"({"lt": ["rsi"]})"), Severity::Error, "invalid-length", "/entry/lt", R"(["rsi"])"},
      {document(R"({"lt": ["rsi", 30]})", R"(, "risk": {"stoploss_pct": 1})"), Severity::Warning,
       "unknown-member", "/risk/stoploss_pct", R"("stoploss_pct")"},
      {document(R"({"lt": ["rsj", 30]})"), Severity::Warning, "undeclared-indicator", "/entry/lt/0",
       R"("rsj")"},
      {document(R"({"lt": ["rsi", 30]})", "", R"(, "ema": {"type": "ema"})"), Severity::Warning,
       "unused-indicator", "/indicators/ema", R"("ema")"},
      {document(R"({"lt": ["rsi", 30]})", R"(, "warmup": 1, "warmup": 2)"), Severity::Warning,
       "duplicate-member", "/warmup", R"("warmup": 1)"},
  };
  for (const Row& row : rows) {
    const std::vector<Finding> found = check_strategy(row.text);
    ASSERT_EQ(found.size(), 1u) << row.text;
    const Finding& f = found[0];
    EXPECT_EQ(f.severity, row.severity) << row.text;
    EXPECT_EQ(code_info(f.code).name, row.code) << row.text;
    EXPECT_EQ(f.pointer, row.pointer) << row.text;
    EXPECT_EQ(row.text.substr(f.offset).rfind(row.at, 0), 0u) << row.text << " at " << f.offset;
  }
}

TEST(Findings, AValidDocumentHasNone) { EXPECT_TRUE(check_strategy(document()).empty()); }

// A misspelt member or variant tag is offered the nearest name, in the help
// and as the JSON text to put in its place.
TEST(Findings, AMisspeltNameIsOfferedTheNearestOne) {
  std::string variant = document();
  const std::string tag = R"("fixed_qty")";
  variant.replace(variant.find(tag), tag.size(), R"("fixed_qyt")");
  const std::pair<std::string, const char*> rows[] = {
      {document(R"({"lt": ["rsi", 30]})", R"(, "risk": {"stop_loss_pc": 1})"), R"("stop_loss_pct")"},
      {variant, R"("fixed_qty")"},
  };
  for (const auto& [text, nearest] : rows) {
    const std::vector<Finding> found = check_strategy(text);
    ASSERT_EQ(found.size(), 1u) << text;
    ASSERT_TRUE(found[0].help && found[0].suggestion) << text;
    EXPECT_EQ(*found[0].suggestion, nearest);
    EXPECT_NE(found[0].help->find(std::string_view(nearest).substr(1, std::strlen(nearest) - 2)),
              std::string::npos)
        << *found[0].help;
  }
}

TEST(Findings, ACompileFailureIsPlacedInTheCommand) {
  const std::string command = R"({"cmd": "compile", "spec": {"strategy": )" + document() +
                              R"(, "target": {"kind": "no_std", "mcu": "avr"}}})";
  const std::optional<Finding> found = locate_compile_failure(command);
  ASSERT_TRUE(found);
  EXPECT_EQ(code_info(found->code).name, "mcu-not-allowed");
  EXPECT_EQ(found->pointer, "/spec/target/mcu");
  EXPECT_EQ(command.substr(found->offset).rfind(R"("avr")", 0), 0u);

  EXPECT_FALSE(locate_compile_failure(R"({"cmd": "version"})"));
  EXPECT_FALSE(locate_compile_failure(R"({"cmd": "compile", "spec": {"strategy": )" + document() +
                                      R"(, "target": {"kind": "binary"}}, "dry_run": true})"));
}

}  // namespace
}  // namespace lantor::diagnose
