// The `sizing` section and the `slippage` model of `costs`: internally tagged
// choices whose variants are small records with required fields.
#include <utility>

#include "core/schema/choice.h"
#include "core/schema/record.h"
#include "core/schema/scalars.h"
#include "core/strategy/readers.h"
#include "core/strategy/tables.h"
#include "core/strategy/variants.h"

namespace lantor::strategy {

namespace {

using schema::read_f64;
using schema::read_u32;
using schema::RecordKind;
using schema::store;

constexpr Field<FixedFraction> kFixedFractionFields[] = {
    {"fraction", true, "f64", &store<&FixedFraction::fraction, &read_f64>}};
constexpr Field<FixedQty> kFixedQtyFields[] = {{"qty", true, "f64", &store<&FixedQty::qty, &read_f64>}};
constexpr Field<FixedCash> kFixedCashFields[] = {{"cash", true, "f64", &store<&FixedCash::cash, &read_f64>}};
constexpr Field<VolTarget> kVolTargetFields[] = {
    {"target_vol", true, "f64", &store<&VolTarget::target_vol, &read_f64>},
    {"lookback", true, "u32", &store<&VolTarget::lookback, &read_u32>},
};
constexpr Field<RiskPerTrade> kRiskPerTradeFields[] = {
    {"risk_pct", true, "f64", &store<&RiskPerTrade::risk_pct, &read_f64>}};
constexpr Field<FixedBps> kFixedBpsFields[] = {{"bps", true, "f64", &store<&FixedBps::bps, &read_f64>}};
constexpr Field<VolumeImpact> kVolumeImpactFields[] = {
    {"coef", true, "f64", &store<&VolumeImpact::coef, &read_f64>}};

// Reads one variant's fields and widens the result to the choice's type.
template <class Choice, class T>
Read<Choice> read_as(const schema::Tagged& content, const RecordTable<T>& record) {
  T out{};
  LANTOR_TRY(schema::read_variant(content, record, out));
  return Choice(std::move(out));
}

}  // namespace

const RecordTable<FixedFraction> kFixedFraction = {"Sizing::FixedFraction", RecordKind::Variant,
                                                   kFixedFractionFields};
const RecordTable<FixedQty> kFixedQty = {"Sizing::FixedQty", RecordKind::Variant, kFixedQtyFields};
const RecordTable<FixedCash> kFixedCash = {"Sizing::FixedCash", RecordKind::Variant, kFixedCashFields};
const RecordTable<VolTarget> kVolTarget = {"Sizing::VolTarget", RecordKind::Variant, kVolTargetFields};
const RecordTable<RiskPerTrade> kRiskPerTrade = {"Sizing::RiskPerTrade", RecordKind::Variant,
                                                 kRiskPerTradeFields};
const RecordTable<FixedBps> kFixedBps = {"Slippage::FixedBps", RecordKind::Variant, kFixedBpsFields};
// No fields: in the object form any other members are ignored, and the
// array form is the tag alone.
const RecordTable<Spread> kSpread = {"Slippage::Spread", RecordKind::Variant, {}};
const RecordTable<VolumeImpact> kVolumeImpact = {"Slippage::VolumeImpact", RecordKind::Variant,
                                                 kVolumeImpactFields};

const schema::Choice kSizing = {"Sizing", "type", variants::kSizing};
const schema::Choice kSlippage = {"Slippage", "type", variants::kSlippage};

Read<Sizing> read_sizing(json::Node v) {
  LANTOR_ASSIGN_OR_RETURN(const schema::Tagged content, schema::read_internal_tag(v, kSizing));
  switch (content.index) {
    case 0: return read_as<Sizing>(content, kFixedFraction);
    case 1: return read_as<Sizing>(content, kFixedQty);
    case 2: return read_as<Sizing>(content, kFixedCash);
    case 3: return read_as<Sizing>(content, kVolTarget);
    default: return read_as<Sizing>(content, kRiskPerTrade);
  }
}

Read<Slippage> read_slippage(json::Node v) {
  LANTOR_ASSIGN_OR_RETURN(const schema::Tagged content, schema::read_internal_tag(v, kSlippage));
  switch (content.index) {
    case 0: return read_as<Slippage>(content, kFixedBps);
    case 1: return read_as<Slippage>(content, kSpread);
    default: return read_as<Slippage>(content, kVolumeImpact);
  }
}

}  // namespace lantor::strategy
