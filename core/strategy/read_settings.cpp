// The `costs`, `risk` and `execution` sections: records whose fields are all
// optional, so an empty object or array is a record of defaults.
#include "core/schema/choice.h"
#include "core/schema/record.h"
#include "core/schema/scalars.h"
#include "core/schema/value_reader.h"
#include "core/strategy/readers.h"
#include "core/strategy/tables.h"
#include "core/strategy/variants.h"

namespace lantor::strategy {

namespace {

using schema::field;
using schema::kOptional;
using schema::nullable;
using schema::value::kBool;
using schema::value::kF64;
using schema::value::kU32;

Read<OrderType> read_order_type(json::Node v) {
  return schema::read_unit_enum<OrderType>(v, variants::kOrderTypeIndex);
}
bool write_order_type(const OrderType& o, json::Writer& out) {
  return schema::write_unit_enum(o, variants::kOrderType, out);
}
constexpr schema::ValueReader<OrderType> kOrderTypeValue = {"OrderType", &read_order_type, &write_order_type};

Read<FillTiming> read_fill_timing(json::Node v) {
  return schema::read_unit_enum<FillTiming>(v, variants::kFillTimingIndex);
}
bool write_fill_timing(const FillTiming& f, json::Writer& out) {
  return schema::write_unit_enum(f, variants::kFillTiming, out);
}
constexpr schema::ValueReader<FillTiming> kFillTimingValue = {"FillTiming", &read_fill_timing,
                                                              &write_fill_timing};

constexpr Field<Costs> kCostsFields[] = {
    field<&Costs::maker_bps, kF64>("maker_bps", kOptional),
    field<&Costs::taker_bps, kF64>("taker_bps", kOptional),
    field<&Costs::slippage, value::kSlippage>("slippage", kOptional),
    field<&Costs::funding, kBool>("funding", kOptional),
};

constexpr Field<Risk> kRiskFields[] = {
    field<&Risk::stop_loss_pct, nullable<kF64>>("stop_loss_pct", kOptional),
    field<&Risk::take_profit_pct, nullable<kF64>>("take_profit_pct", kOptional),
    field<&Risk::trailing_stop_pct, nullable<kF64>>("trailing_stop_pct", kOptional),
    field<&Risk::max_leverage, nullable<kF64>>("max_leverage", kOptional),
    field<&Risk::max_position_pct, nullable<kF64>>("max_position_pct", kOptional),
    field<&Risk::liquidation, kBool>("liquidation", kOptional),
};

constexpr Field<Execution> kExecutionFields[] = {
    field<&Execution::order_type, kOrderTypeValue>("order_type", kOptional),
    field<&Execution::fill_timing, kFillTimingValue>("fill_timing", kOptional),
    field<&Execution::limit_offset_pct, nullable<kF64>>("limit_offset_pct", kOptional),
    field<&Execution::stop_offset_pct, nullable<kF64>>("stop_offset_pct", kOptional),
    field<&Execution::latency_bars, kU32>("latency_bars", kOptional),
    field<&Execution::partial_fills, kBool>("partial_fills", kOptional),
    field<&Execution::max_participation, nullable<kF64>>("max_participation", kOptional),
};

}  // namespace

const RecordTable<Costs> kCosts = {value::kCosts.type, schema::RecordKind::Struct, kCostsFields};
const RecordTable<Risk> kRisk = {value::kRisk.type, schema::RecordKind::Struct, kRiskFields};
const RecordTable<Execution> kExecution = {value::kExecution.type, schema::RecordKind::Struct,
                                           kExecutionFields};

Read<Costs> read_costs(json::Node v) { return schema::read_record_value(v, kCosts); }
Read<Risk> read_risk(json::Node v) { return schema::read_record_value(v, kRisk); }
Read<Execution> read_execution(json::Node v) { return schema::read_record_value(v, kExecution); }

bool write_costs(const Costs& c, json::Writer& out) { return schema::write_record(c, kCosts, out); }
bool write_risk(const Risk& r, json::Writer& out) { return schema::write_record(r, kRisk, out); }
bool write_execution(const Execution& e, json::Writer& out) {
  return schema::write_record(e, kExecution, out);
}

}  // namespace lantor::strategy
