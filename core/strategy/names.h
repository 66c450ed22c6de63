// The variant names of the document's enumerations, in declaration order. The
// position of a name is the value of the matching enumerator in model.h, and
// the order is the order of the lists in unknown-variant messages.
#pragma once

#include <span>
#include <string_view>

#include "core/base/short_text.h"

namespace lantor::strategy::names {

using NameList = std::span<const std::string_view>;

// Name equality for the lookups in the short lists of names and fields.
inline bool same(std::string_view a, std::string_view b) { return same_text(a, b); }

inline constexpr std::string_view kFeed[] = {"kline",       "trade",       "orderbook",
                                             "trade_quote", "derivatives", "cross_section"};

inline constexpr std::string_view kPriceSource[] = {"open",   "high", "low",  "close",
                                                    "volume", "hlc3", "ohlc4"};

inline constexpr std::string_view kExpr[] = {"price", "prev", "add", "sub", "mul", "div"};

inline constexpr std::string_view kCondition[] = {
    "gt",          "lt",      "ge",     "le",      "eq",  "ne",  "cross_above", "cross_below",
    "between",     "rising",  "falling", "all",    "any", "not", "in_position", "bars_since_entry"};

inline constexpr std::string_view kBarsCmp[] = {"gt", "lt", "ge", "le", "eq"};

inline constexpr std::string_view kSizing[] = {"fixed_fraction", "fixed_qty", "fixed_cash",
                                               "vol_target", "risk_per_trade"};

inline constexpr std::string_view kSlippage[] = {"fixed_bps", "spread", "volume_impact"};

inline constexpr std::string_view kOrderType[] = {"market", "limit", "stop", "stop_limit"};

inline constexpr std::string_view kFillTiming[] = {"next_open", "close"};

}  // namespace lantor::strategy::names
