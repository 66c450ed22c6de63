// The `costs`, `risk` and `execution` sections: records whose fields are all
// optional, so an empty object or array is a record of defaults.
#include "core/strategy/external_tag.h"
#include "core/strategy/names.h"
#include "core/strategy/readers.h"
#include "core/strategy/record.h"
#include "core/strategy/scalars.h"
#include "core/strategy/tables.h"

namespace lantor::strategy {

namespace {

Result<OrderType> read_order_type(json::Node v) {
  return read_unit_enum<OrderType>(v, names::kOrderType);
}

Result<FillTiming> read_fill_timing(json::Node v) {
  return read_unit_enum<FillTiming>(v, names::kFillTiming);
}

constexpr Field<Costs> kCostsFields[] = {
    {"maker_bps", false, &store<&Costs::maker_bps, &read_f64>},
    {"taker_bps", false, &store<&Costs::taker_bps, &read_f64>},
    {"slippage", false, &store<&Costs::slippage, &read_slippage>},
    {"funding", false, &store<&Costs::funding, &read_bool>},
};

constexpr Field<Risk> kRiskFields[] = {
    {"stop_loss_pct", false, &store<&Risk::stop_loss_pct, &read_opt_f64>},
    {"take_profit_pct", false, &store<&Risk::take_profit_pct, &read_opt_f64>},
    {"trailing_stop_pct", false, &store<&Risk::trailing_stop_pct, &read_opt_f64>},
    {"max_leverage", false, &store<&Risk::max_leverage, &read_opt_f64>},
    {"max_position_pct", false, &store<&Risk::max_position_pct, &read_opt_f64>},
    {"liquidation", false, &store<&Risk::liquidation, &read_bool>},
};

constexpr Field<Execution> kExecutionFields[] = {
    {"order_type", false, &store<&Execution::order_type, &read_order_type>},
    {"fill_timing", false, &store<&Execution::fill_timing, &read_fill_timing>},
    {"limit_offset_pct", false, &store<&Execution::limit_offset_pct, &read_opt_f64>},
    {"stop_offset_pct", false, &store<&Execution::stop_offset_pct, &read_opt_f64>},
    {"latency_bars", false, &store<&Execution::latency_bars, &read_u32>},
    {"partial_fills", false, &store<&Execution::partial_fills, &read_bool>},
    {"max_participation", false, &store<&Execution::max_participation, &read_opt_f64>},
};

}  // namespace

tables::Members tables::costs_members() { return members_of(kCostsFields); }
tables::Members tables::risk_members() { return members_of(kRiskFields); }
tables::Members tables::execution_members() { return members_of(kExecutionFields); }

Result<Costs> read_costs(json::Node v) {
  return read_record<Costs>(v, kCostsFields, "struct Costs");
}

Result<Risk> read_risk(json::Node v) {
  return read_record<Risk>(v, kRiskFields, "struct Risk");
}

Result<Execution> read_execution(json::Node v) {
  return read_record<Execution>(v, kExecutionFields, "struct Execution");
}

}  // namespace lantor::strategy
