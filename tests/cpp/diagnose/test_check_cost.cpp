// What the checker costs, counted: documents built to make it quadratic (or
// to make it allocate a table per pair of long names) cost it a bounded
// amount of work per byte, and four times the document costs about four
// times the work.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/diagnose/diagnose.h"

namespace lantor::diagnose {
namespace {

const std::string kHead =
    R"({"symbol": "BTC-USDT", "timeframe": "1h", "indicators": {"rsi": {"type": "rsi", "params": [14]}},)"
    R"( "entry": {"lt": ["rsi", 30]}, "exit": {"gt": ["rsi", 70]}, "sizing": {"type": "fixed_qty", "qty": 1})";

std::string repeat(std::size_t n, const std::function<std::string(std::size_t)>& item) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += (i == 0 ? "" : ", ") + item(i);
  return out;
}

struct CostCase {
  const char* name;
  std::function<std::string(std::size_t)> document;  // of about n items
};

const CostCase kCases[] = {
    {"unknown members",
     [](std::size_t n) {
       return kHead + ", " + repeat(n, [](std::size_t i) { return "\"m" + std::to_string(i) + "\": 1"; }) +
              "}";
     }},
    {"a repeated member",
     [](std::size_t n) {
       return kHead + ", " + repeat(n, [](std::size_t) { return std::string("\"warmup\": 1"); }) + "}";
     }},
    {"undeclared names among many indicators",
     [](std::size_t n) {
       return R"({"symbol": "X", "timeframe": "1h", "sizing": {"type": "fixed_qty", "qty": 1}, "exit": {"in_position": true},)"
              R"( "indicators": {)" +
              repeat(n,
                     [](std::size_t i) {
                       return "\"ind" + std::to_string(10000 + i) + "x\": {\"type\": \"sma\"}";
                     }) +
              R"(}, "entry": {"all": [)" +
              repeat(
                  n,
                  [](std::size_t i) { return "{\"lt\": [\"ind" + std::to_string(10000 + i) + "y\", 1]}"; }) +
              "]}}";
     }},
    {"repeats under one long name",
     [](std::size_t n) {
       return kHead + ", \"notes\": {\"" + std::string(20 * n, 'k') + "\": {" +
              repeat(n, [](std::size_t) { return std::string("\"a\": 1"); }) + "}}}";
     }},
    {"a long array, broken at its end",
     [](std::size_t n) {
       return kHead + ", \"notes\": [" + repeat(n, [](std::size_t) { return std::string("1"); }) + ", }";
     }},
};

std::uint64_t total(const Work& w) { return w.steps + w.comparisons + w.written; }

TEST(CheckCost, GrowsWithTheDocumentAndNoFaster) {
  for (const CostCase& c : kCases) {
    Work small;
    Work large;
    const std::string small_text = c.document(2000);
    const std::string large_text = c.document(8000);
    check_strategy(small_text, &small);
    check_strategy(large_text, &large);
    const std::uint64_t n = large_text.size();
    EXPECT_LE(large.steps, 4 * (n + 1)) << c.name;
    EXPECT_LE(large.comparisons, 128 * n + 65536 + 4096) << c.name;
    EXPECT_LE(large.written, 72 * n + 65536 + 4096) << c.name;
    EXPECT_LE(total(large), 5 * total(small) + 4 * 65536) << c.name;
  }
}

TEST(CheckCost, LongNamesGetNoSuggestionAndNoTable) {
  // Two names of 70,000 bytes a table per pair would square.
  const std::string declared(70000, 'a');
  const std::string read(70000, 'b');
  const std::string text = R"({"symbol": "X", "timeframe": "1h", "indicators": {")" + declared +
                           R"(": {"type": "x"}}, "entry": {"in_position": false}, "exit": {"gt": [")" + read +
                           R"(", 1]}, "sizing": {"type": "fixed_qty", "qty": 1}})";
  Work work;
  const std::vector<Finding> found = check_strategy(text, &work);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].code, Code::UnusedIndicator);
  EXPECT_EQ(found[1].code, Code::UndeclaredIndicator);
  EXPECT_FALSE(found[1].help);
  EXPECT_EQ(work.comparisons, 0u);
}

TEST(CheckCost, WarningsPastTheirShareAreSummedUp) {
  // Each repeat's pointer holds the long name: written out in full, the
  // warnings would take the name's length times their number.
  const std::string text = kCases[3].document(20000);
  Work work;
  const std::vector<Finding> found = check_strategy(text, &work);
  ASSERT_FALSE(found.empty());
  const Finding& last = found.back();
  EXPECT_EQ(last.code, Code::TooManyWarnings);
  EXPECT_EQ(last.pointer, "");
  EXPECT_EQ(last.message, std::to_string(20001 - found.size()) + " more warnings from here on are not shown");
  EXPECT_LE(work.written, 64 * text.size() + 65536 + 2 * text.size());
}

}  // namespace
}  // namespace lantor::diagnose
