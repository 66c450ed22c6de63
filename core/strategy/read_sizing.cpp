// The `sizing` section and the `slippage` model of `costs`: internally tagged
// choices whose variants are small records with required fields.
#include <string_view>
#include <utility>
#include <variant>

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
using schema::kRequired;
using schema::RecordKind;
using schema::value::kF64;
using schema::value::kU32;

constexpr Field<FixedFraction> kFixedFractionFields[] = {
    field<&FixedFraction::fraction, kF64>("fraction", kRequired)};
constexpr Field<FixedQty> kFixedQtyFields[] = {field<&FixedQty::qty, kF64>("qty", kRequired)};
constexpr Field<FixedCash> kFixedCashFields[] = {field<&FixedCash::cash, kF64>("cash", kRequired)};
constexpr Field<VolTarget> kVolTargetFields[] = {
    field<&VolTarget::target_vol, kF64>("target_vol", kRequired),
    field<&VolTarget::lookback, kU32>("lookback", kRequired),
};
constexpr Field<RiskPerTrade> kRiskPerTradeFields[] = {
    field<&RiskPerTrade::risk_pct, kF64>("risk_pct", kRequired)};
constexpr Field<FixedBps> kFixedBpsFields[] = {field<&FixedBps::bps, kF64>("bps", kRequired)};
constexpr Field<VolumeImpact> kVolumeImpactFields[] = {field<&VolumeImpact::coef, kF64>("coef", kRequired)};

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

const schema::Choice kSizing = {value::kSizing.type, "type", variants::kSizing};
const schema::Choice kSlippage = {value::kSlippage.type, "type", variants::kSlippage};

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

bool write_slippage(const Slippage& s, json::Writer& out) {
  const std::string_view name = variants::kSlippage[s.index()].name;
  switch (s.index()) {
    case 0: return schema::write_record(std::get<FixedBps>(s), kFixedBps, out, kSlippage.tag, name);
    case 1: return schema::write_record(std::get<Spread>(s), kSpread, out, kSlippage.tag, name);
    default: return schema::write_record(std::get<VolumeImpact>(s), kVolumeImpact, out, kSlippage.tag, name);
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
