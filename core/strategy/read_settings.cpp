// The `costs`, `risk` and `execution` sections: records whose fields are all
// optional, so an empty object or array is a record of defaults.
#include "core/schema/choice.h"
#include "core/schema/record.h"
#include "core/schema/scalars.h"
#include "core/strategy/readers.h"
#include "core/strategy/tables.h"
#include "core/strategy/variants.h"

namespace lantor::strategy {

namespace {

using schema::read_bool;
using schema::read_f64;
using schema::read_opt_f64;
using schema::read_u32;
using schema::store;

Read<OrderType> read_order_type(json::Node v) {
  return schema::read_unit_enum<OrderType>(v, variants::kOrderType);
}

Read<FillTiming> read_fill_timing(json::Node v) {
  return schema::read_unit_enum<FillTiming>(v, variants::kFillTiming);
}

constexpr Field<Costs> kCostsFields[] = {
    {"maker_bps", false, "f64", &store<&Costs::maker_bps, &read_f64>},
    {"taker_bps", false, "f64", &store<&Costs::taker_bps, &read_f64>},
    {"slippage", false, "Slippage", &store<&Costs::slippage, &read_slippage>},
    {"funding", false, "bool", &store<&Costs::funding, &read_bool<json::Node>>},
};

constexpr Field<Risk> kRiskFields[] = {
    {"stop_loss_pct", false, "f64?", &store<&Risk::stop_loss_pct, &read_opt_f64>},
    {"take_profit_pct", false, "f64?", &store<&Risk::take_profit_pct, &read_opt_f64>},
    {"trailing_stop_pct", false, "f64?", &store<&Risk::trailing_stop_pct, &read_opt_f64>},
    {"max_leverage", false, "f64?", &store<&Risk::max_leverage, &read_opt_f64>},
    {"max_position_pct", false, "f64?", &store<&Risk::max_position_pct, &read_opt_f64>},
    {"liquidation", false, "bool", &store<&Risk::liquidation, &read_bool<json::Node>>},
};

constexpr Field<Execution> kExecutionFields[] = {
    {"order_type", false, "OrderType", &store<&Execution::order_type, &read_order_type>},
    {"fill_timing", false, "FillTiming", &store<&Execution::fill_timing, &read_fill_timing>},
    {"limit_offset_pct", false, "f64?", &store<&Execution::limit_offset_pct, &read_opt_f64>},
    {"stop_offset_pct", false, "f64?", &store<&Execution::stop_offset_pct, &read_opt_f64>},
    {"latency_bars", false, "u32", &store<&Execution::latency_bars, &read_u32>},
    {"partial_fills", false, "bool", &store<&Execution::partial_fills, &read_bool<json::Node>>},
    {"max_participation", false, "f64?", &store<&Execution::max_participation, &read_opt_f64>},
};

}  // namespace

const RecordTable<Costs> kCosts = {"Costs", schema::RecordKind::Struct, kCostsFields};
const RecordTable<Risk> kRisk = {"Risk", schema::RecordKind::Struct, kRiskFields};
const RecordTable<Execution> kExecution = {"Execution", schema::RecordKind::Struct, kExecutionFields};

Read<Costs> read_costs(json::Node v) { return schema::read_record_value(v, kCosts); }
Read<Risk> read_risk(json::Node v) { return schema::read_record_value(v, kRisk); }
Read<Execution> read_execution(json::Node v) { return schema::read_record_value(v, kExecution); }

}  // namespace lantor::strategy
