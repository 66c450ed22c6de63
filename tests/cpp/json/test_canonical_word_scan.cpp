// Strings are written eight bytes at a time while no byte needs escaping: a
// byte that does must be escaped wherever it falls in a word.
#include <gtest/gtest.h>

#include <string>

#include "core/json/canonical.h"

namespace lantor::json {
namespace {

TEST(CanonicalWordScan, EscapesAtEachPlace) {
  const std::pair<std::string, std::string> cases[] = {
      {"\"", "\\\""}, {"\\", "\\\\"}, {"\n", "\\n"}, {"\x1f", "\\u001f"}, {"\x7f", "\x7f"},
      {"\xC3\xA9", "\xC3\xA9"}};
  for (const auto& [raw, written] : cases) {
    for (std::size_t len = 1; len < 30; ++len) {
      for (std::size_t at = 0; at < len; ++at) {
        std::string in;
        std::string expected = "\"";
        for (std::size_t i = 0; i < len; ++i) {
          if (i == at) {
            in += raw;
            expected += written;
          } else {
            in += static_cast<char>('a' + i % 26);
            expected += static_cast<char>('a' + i % 26);
          }
        }
        expected += '"';
        std::string out = "x";
        append_json_string(out, in);
        EXPECT_EQ(out, "x" + expected) << len << " " << at;
      }
    }
  }
}

TEST(CanonicalWordScan, CleanStringsOfEveryLength) {
  for (std::size_t len = 0; len < 40; ++len) {
    std::string in(len, 'q');
    std::string out;
    append_json_string(out, in);
    EXPECT_EQ(out, "\"" + in + "\"");
  }
}

}  // namespace
}  // namespace lantor::json
