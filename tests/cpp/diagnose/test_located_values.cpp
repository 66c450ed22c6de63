// Every value of a text with its place: finished values with their spans,
// names and decoded strings; what had begun when the reader failed, left
// unfinished; and where it failed.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/diagnose/located_values.h"

namespace lantor::diagnose {
namespace {

std::string place(std::size_t offset) { return offset == kNoPlace ? "-" : std::to_string(offset); }

// One line per value: "<parent> <kind> <start>-<end> <name or #index>[ =string]".
std::string listing(const LocatedValues& located) {
  std::string out;
  for (const LocatedValue& v : located.values) {
    out +=
        place(v.parent) + " " + "sao"[static_cast<int>(v.kind)] + " " + place(v.start) + "-" + place(v.end);
    out += v.is_member() ? " " + v.name + "@" + place(v.name_start) + "-" + place(v.name_end)
                         : " #" + std::to_string(v.index);
    if (v.string) out += " =" + *v.string;
    out += "\n";
  }
  return out + "failed " + place(located.failed_at);
}

struct Case {
  std::string_view text;
  std::string_view expected;
};

const Case kCases[] = {
    {R"({"a": [1, "x\u00e9"], "b~": {}})",
     "- o 0-31 #0\n0 a 6-20 a@1-4\n1 s 7-8 #0\n1 s 10-19 #1 =x\xc3\xa9\n0 o 28-30 b~@22-26\nfailed -"},
    {R"({"a": [1, "x)", "- o 0-- #0\n0 a 6-- a@1-4\n1 s 7-8 #0\n1 s 10-- #1\nfailed 12"},
    {R"({"a": )", "- o 0-- #0\n0 s 6-- a@1-4\nfailed 6"},
    {R"({"a": 1, "b)", "- o 0-- #0\n0 s 6-7 a@1-4\nfailed 11"},
    {"  ", "failed 2"},
    // A string that does not decode is kept as it is written.
    {R"(["\ud800"])", "- a 0-10 #0\n0 s 1-9 #0 =\\ud800\nfailed -"},
};

TEST(LocatedValues, EveryValueWithItsPlace) {
  for (const Case& c : kCases) EXPECT_EQ(listing(locate_values(c.text)), c.expected) << c.text;
}

}  // namespace
}  // namespace lantor::diagnose
