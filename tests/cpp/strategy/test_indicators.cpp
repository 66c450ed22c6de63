// The `indicators` section: the map, `IndicatorSpec` in both forms, `Feed`.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/json/canonical.h"

#include "strategy_test_support.h"

namespace lantor::strategy::testing {
namespace {

constexpr const char* kFeedList =
    "one of `kline`, `trade`, `orderbook`, `trade_quote`, `derivatives`, `cross_section`";

std::string indicators_outcome(const std::string& indicators) {
  return outcome(with_member("indicators", indicators));
}

TEST(Indicators, Shapes) {
  const Row rows[] = {
      {R"({})", kValid},
      {R"({"e": {"type": "ema"}})", kValid},
      {R"({"e": {"type": "ema", "feed": null}})", kValid},
      {R"({"e": {"type": "ema", "params": [14, 2.5, -1]}})", kValid},
      {R"({"e": {"type": "ema", "params": []}})", kValid},
      {R"({"e": {"type": "", "period": "unread"}})", kValid},
      {R"({"e": ["ema"]})", kValid},
      {R"({"e": ["ema", [14], "kline"]})", kValid},
      {R"({"e": ["ema", [14], null]})", kValid},
      {R"({"e": {"feed": "trade"}})", "missing field `type`"},
      {R"({"e": {}})", "missing field `type`"},
      {R"({"e": {"type": 5}})", "invalid type: integer `5`, expected a string"},
      {R"({"e": {"type": "ema", "params": null}})", "invalid type: null, expected a sequence"},
      {R"({"e": {"type": "ema", "params": 14}})", "invalid type: integer `14`, expected a sequence"},
      {R"({"e": {"type": "ema", "params": ["14"]}})", "invalid type: string \"14\", expected f64"},
      {R"({"e": {"type": "ema", "params": [1, null]}})", "invalid type: null, expected f64"},
      // A bad member before the missing `type` is reported first.
      {R"({"e": {"params": "x"}})", "invalid type: string \"x\", expected a sequence"},
      {R"({"e": []})", "invalid length 0, expected struct IndicatorSpec with 3 elements"},
      {R"({"e": ["ema", [14], "kline", 1]})", "invalid length 4, expected fewer elements in array"},
      {R"({"e": [5]})", "invalid type: integer `5`, expected a string"},
      {R"({"e": ["ema", {}]})", "invalid type: map, expected a sequence"},
      {R"({"e": "ema"})", "invalid type: string \"ema\", expected struct IndicatorSpec"},
      {R"({"e": null})", "invalid type: null, expected struct IndicatorSpec"},
      // Entries are checked in document order, not in name order.
      {R"({"b": {"type": 1}, "a": {"type": 2}})", "invalid type: integer `1`, expected a string"},
  };
  for (const auto& row : rows) EXPECT_EQ(indicators_outcome(row.input), row.expected) << row.input;
}

TEST(Indicators, Feed) {
  const std::string unknown = std::string("unknown variant `Kline`, expected ") + kFeedList;
  const std::string unknown_obj = std::string("unknown variant `tick`, expected ") + kFeedList;
  const Row rows[] = {
      {R"("kline")", kValid},
      {R"("trade")", kValid},
      {R"("orderbook")", kValid},
      {R"("trade_quote")", kValid},
      {R"("derivatives")", kValid},
      {R"("cross_section")", kValid},
      {R"({"kline": null})", kValid},
      {R"({"trade": null})", kValid},
      {R"({"orderbook": null})", kValid},
      {R"({"trade_quote": null})", kValid},
      {R"({"derivatives": null})", kValid},
      {R"({"cross_section": null})", kValid},
      {R"("Kline")", unknown.c_str()},
      {R"({"tick": null})", unknown_obj.c_str()},
      {R"({"kline": 1})", "invalid type: integer `1`, expected unit"},
      {R"({"kline": {}})", "invalid type: map, expected unit"},
      {R"({})", "invalid value: map, expected map with a single key"},
      {R"({"kline": null, "trade": null})", "invalid value: map, expected map with a single key"},
      {R"(5)", "invalid type: integer `5`, expected string or map"},
      {R"(["kline"])", "invalid type: sequence, expected string or map"},
      {R"(true)", "invalid type: boolean `true`, expected string or map"},
  };
  for (const auto& row : rows) {
    std::string doc = std::string(R"({"e": {"type": "ema", "feed": )") + row.input + "}}";
    EXPECT_EQ(indicators_outcome(doc), row.expected) << row.input;
  }
}

TEST(Indicators, TypedValues) {
  auto spec = typed(with_member("indicators", R"({
      "fast": {"type": "ema", "params": [14, 2.5], "feed": {"trade_quote": null}},
      "slow": ["sma", [50]],
      "bare": {"type": "rsi", "feed": null}})"));
  ASSERT_TRUE(spec.ok()) << spec.error().message;
  ASSERT_EQ(spec->indicators.size(), 3u);
  const IndicatorSpec& fast = *spec->indicators.find("fast");
  EXPECT_EQ(fast.type, "ema");
  EXPECT_EQ(fast.params, (List<double>{14.0, 2.5}));
  EXPECT_EQ(fast.feed, Feed::TradeQuote);
  EXPECT_EQ(spec->indicators.find("slow")->params, (List<double>{50.0}));
  EXPECT_FALSE(spec->indicators.find("slow")->feed.has_value());
  EXPECT_TRUE(spec->indicators.find("bare")->params.empty());
  EXPECT_FALSE(spec->indicators.find("bare")->feed.has_value());
}

// The places name_places gives put the names in the order a plain sort by
// bytes does, names that share their first eight bytes or end early included.
TEST(Indicators, NamePlacesAreByteOrder) {
  using namespace std::string_literals;
  std::vector<std::string> reversed;
  for (int i = 40; i > 0; --i) reversed.push_back("ind_" + std::to_string(i));
  const std::vector<std::string> rows[] = {
      {},
      {"b", "a"},
      {"ema_50", "ema_5", "ema_500", "funding_rate", "adx_14"},
      {"abcdefgh1", "abcdefgh0", "abcdefgh", "abcdefg"},
      {"\xff", "a", "\x7f", "\x80x"},
      {"a\0b"s, "a", "a\0"s, ""},
      reversed,
  };
  for (const auto& names : rows) {
    const std::vector<std::string_view> views(names.begin(), names.end());
    std::vector<std::uint32_t> places(names.size());
    name_places(views, places);
    std::vector<std::string_view> placed(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) placed.at(places[i]) = views[i];
    std::vector<std::string_view> sorted = views;
    std::sort(sorted.begin(), sorted.end(), json::name_before);
    EXPECT_EQ(placed, sorted) << names.size() << " names";
  }
}

TEST(Indicators, KeptInNameOrderWhateverTheDocumentOrder) {
  auto spec = typed(with_member("indicators", R"({"b": ["x"], "ab": ["y"], "a": ["z"]})"));
  ASSERT_TRUE(spec.ok()) << spec.error().message;
  std::vector<std::string> names;
  for (const auto& [name, indicator] : spec->indicators) names.push_back(name + "=" + indicator.type);
  EXPECT_EQ(names, (std::vector<std::string>{"a=z", "ab=y", "b=x"}));
}

}  // namespace
}  // namespace lantor::strategy::testing
