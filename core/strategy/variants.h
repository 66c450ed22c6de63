// The variants of the strategy document's choices, in declaration order,
// with what each carries (type names as listing.h writes them). The position
// of a variant is the value of the matching enumerator in model.h, and the
// order is the order of the lists in unknown-variant messages.
#pragma once

#include "core/schema/choice.h"
#include "core/schema/describe.h"

namespace lantor::strategy::variants {

using schema::Variant;

inline constexpr Variant kFeed[] = {{"kline", ""},       {"trade", ""},       {"orderbook", ""},
                                    {"trade_quote", ""}, {"derivatives", ""}, {"cross_section", ""}};

inline constexpr Variant kPriceSource[] = {{"open", ""},   {"high", ""}, {"low", ""},  {"close", ""},
                                           {"volume", ""}, {"hlc3", ""}, {"ohlc4", ""}};

inline constexpr Variant kExpr[] = {
    {"price", "PriceSource"},      {"prev", "(Operand, u32)"},    {"add", "(Operand, Operand)"},
    {"sub", "(Operand, Operand)"}, {"mul", "(Operand, Operand)"}, {"div", "(Operand, Operand)"},
};

inline constexpr Variant kCondition[] = {
    {"gt", "(Operand, Operand)"},
    {"lt", "(Operand, Operand)"},
    {"ge", "(Operand, Operand)"},
    {"le", "(Operand, Operand)"},
    {"eq", "(Operand, Operand)"},
    {"ne", "(Operand, Operand)"},
    {"cross_above", "(Operand, Operand)"},
    {"cross_below", "(Operand, Operand)"},
    {"between", "(Operand, Operand, Operand)"},
    {"rising", "(Operand, u32)"},
    {"falling", "(Operand, u32)"},
    {"all", "[Condition]"},
    {"any", "[Condition]"},
    {"not", "Condition"},
    {"in_position", "bool"},
    {"bars_since_entry", "BarsCmp"},
};

inline constexpr Variant kBarsCmp[] = {
    {"gt", "u32"}, {"lt", "u32"}, {"ge", "u32"}, {"le", "u32"}, {"eq", "u32"}};

inline constexpr Variant kSizing[] = {
    {"fixed_fraction", "Sizing::FixedFraction"}, {"fixed_qty", "Sizing::FixedQty"},
    {"fixed_cash", "Sizing::FixedCash"},         {"vol_target", "Sizing::VolTarget"},
    {"risk_per_trade", "Sizing::RiskPerTrade"},
};

inline constexpr Variant kSlippage[] = {
    {"fixed_bps", "Slippage::FixedBps"}, {"spread", ""}, {"volume_impact", "Slippage::VolumeImpact"}};

inline constexpr Variant kOrderType[] = {{"market", ""}, {"limit", ""}, {"stop", ""}, {"stop_limit", ""}};

inline constexpr Variant kFillTiming[] = {{"next_open", ""}, {"close", ""}};

// The forms an Operand is tried as, in order.
inline constexpr Variant kOperand[] = {{"name", "string"}, {"constant", "f64"}, {"expression", "Expr"}};

// The lists the readers look names up in, indexed by name.
inline constexpr schema::VariantIndex kFeedIndex{kFeed};
inline constexpr schema::VariantIndex kPriceSourceIndex{kPriceSource};
inline constexpr schema::VariantIndex kExprIndex{kExpr};
inline constexpr schema::VariantIndex kConditionIndex{kCondition};
inline constexpr schema::VariantIndex kBarsCmpIndex{kBarsCmp};
inline constexpr schema::VariantIndex kOrderTypeIndex{kOrderType};
inline constexpr schema::VariantIndex kFillTimingIndex{kFillTiming};

}  // namespace lantor::strategy::variants
