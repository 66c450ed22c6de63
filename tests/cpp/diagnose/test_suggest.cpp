// The nearest-name suggestions: the banded distance against a full table,
// the choice among candidates, and the budget that bounds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/diagnose/suggest.h"

namespace lantor::diagnose {
namespace {

// The optimal string alignment distance over the whole table.
std::size_t full_edits(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] =
          std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

TEST(Suggest, BandedDistanceIsTheFullOneUpToItsLimit) {
  const std::pair<std::string_view, std::string_view> pairs[] = {
      {"", ""},
      {"", "abc"},
      {"abc", "abc"},
      {"ab", "ba"},
      {"ca", "abc"},
      {"kitten", "sitting"},
      {"stop_los_pct", "stop_loss_pct"},
      {"rsj", "rsi"},
      {"abcdefgh", "badcfehg"},
      {"ema_fast_12", "ema_slow_26"},
  };
  for (const auto& [a, b] : pairs) {
    for (std::size_t limit = 0; limit <= 8; ++limit) {
      std::uint64_t cells = 0;
      const std::size_t got = bounded_edits(a, b, limit, cells);
      EXPECT_EQ(got, std::min(full_edits(a, b), limit + 1)) << a << " / " << b << " limit " << limit;
      EXPECT_LE(cells, a.size() * (2 * limit + 1)) << a << " / " << b << " limit " << limit;
    }
  }
}

struct NearestCase {
  std::string name;
  std::vector<std::string_view> candidates;
  std::string_view want;  // "" for none
};

TEST(Suggest, NearestIsTheFirstOfTheClosestWithinAThird) {
  const std::string long_name(kMaxSuggestedName + 1, 'a');
  const std::string long_near = std::string(kMaxSuggestedName, 'a') + "b";
  const NearestCase cases[] = {
      {"stop_los_pct", {"take_profit_pct", "stop_loss_pct"}, "stop_loss_pct"},
      {"abcd", {"abce", "abcf"}, "abce"},
      {"abcd", {"abcdx", "abcx"}, "abcdx"},  // a tie goes to the earlier, whatever its length
      {"abcd", {"abcx", "abcd_"}, "abcx"},
      {"qty", {"qty"}, ""},  // the name itself is no suggestion
      {"qty", {"qty", "qtx"}, "qtx"},
      {"abc", {"xyz", "ab_cd_ef"}, ""},  // more than a third of the longer name
      {"ab", {"ax"}, ""},
      {long_name, {long_near}, ""},  // too long to get any
  };
  for (const NearestCase& c : cases) {
    Suggester suggester(1'000'000);
    EXPECT_EQ(suggester.nearest(c.name, c.candidates).value_or(""), c.want) << c.name;
  }
}

TEST(Suggest, TheBudgetBoundsAllSuggestionsTogether) {
  std::vector<std::string> names;
  for (int i = 0; i < 2000; ++i) names.push_back("indicator_" + std::to_string(10000 + i));
  const std::vector<std::string_view> views(names.begin(), names.end());
  const Candidates candidates(views);
  constexpr std::uint64_t kBudget = 200'000;
  Suggester suggester(kBudget);
  std::size_t found = 0;
  for (int i = 0; i < 2000; ++i)
    found += suggester.nearest("indicator_" + std::to_string(20000 + i), candidates) ? 1 : 0;
  EXPECT_GT(found, 0u);
  EXPECT_LT(found, 2000u);
  // One comparison more than the budget at most: 15 bytes, 5 edits either way.
  EXPECT_LE(suggester.spent(), kBudget + 1 + 15 * 11);
  EXPECT_FALSE(suggester.nearest("indicator_10000x", candidates));
}

}  // namespace
}  // namespace lantor::diagnose
