// The example strategies shipped in examples/ are valid documents whose
// symbols give usable crate names.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "read_file.h"
#include "strategy_test_support.h"

namespace lantor::strategy::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(LANTOR_SOURCE_DIR) / "examples";

// A crate name derived from a symbol: ASCII letters lower-cased, digits kept,
// everything else "_". Usable only if it starts with a lower-case letter.
bool derives_crate_name(const std::string& symbol) {
  std::string name;
  for (unsigned char c : symbol) {
    if (c >= 'A' && c <= 'Z')
      name += static_cast<char>(c - 'A' + 'a');
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
      name += static_cast<char>(c);
    else
      name += '_';
  }
  return !name.empty() && name[0] >= 'a' && name[0] <= 'z';
}

TEST(Examples, EveryExampleIsValid) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kExamples)) {
    if (entry.path().extension() != ".json") continue;
    names.push_back(entry.path().filename().string());
    SCOPED_TRACE(entry.path().string());
    auto spec = typed(lantor::testing::read_file(entry.path()));
    ASSERT_TRUE(spec.ok()) << spec.error().message;
    EXPECT_TRUE(derives_crate_name(spec->symbol)) << spec->symbol;
    EXPECT_FALSE(spec->indicators.empty());
  }
  for (const char* required :
       {"trend_ema_cross.json", "mean_reversion_rsi.json", "volatility_breakout_atr.json", "spread_pair.json",
        "long_short_momentum.json"})
    EXPECT_NE(std::find(names.begin(), names.end(), required), names.end()) << required;
}

TEST(Examples, StylesTheyStandFor) {
  auto load = [](const char* file) {
    auto spec = typed(lantor::testing::read_file(kExamples / file));
    EXPECT_TRUE(spec.ok()) << file;
    return spec;
  };
  auto trend = load("trend_ema_cross.json");
  ASSERT_TRUE(trend.ok());
  EXPECT_EQ(trend->symbol, "BTC-USDT");
  auto breakout = load("volatility_breakout_atr.json");
  ASSERT_TRUE(breakout.ok());
  EXPECT_TRUE(std::holds_alternative<VolTarget>(breakout->sizing));
  auto spread = load("spread_pair.json");
  ASSERT_TRUE(spread.ok());
  EXPECT_TRUE(spread->ref_symbol.has_value());
  auto long_short = load("long_short_momentum.json");
  ASSERT_TRUE(long_short.ok());
  EXPECT_TRUE(long_short->short_entry && long_short->short_exit);
  EXPECT_TRUE(long_short->risk.stop_loss_pct.has_value());
}

}  // namespace
}  // namespace lantor::strategy::testing
