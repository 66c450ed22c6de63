// The `sizing` section and the `slippage` model of `costs`: internally tagged
// enumerations whose variants are small records with required fields.
#include <utility>

#include "core/strategy/internal_tag.h"
#include "core/strategy/names.h"
#include "core/strategy/readers.h"
#include "core/strategy/record.h"
#include "core/strategy/scalars.h"
#include "core/strategy/tables.h"

namespace lantor::strategy {

namespace {

constexpr Field<FixedFraction> kFixedFraction[] = {
    {"fraction", true, &store<&FixedFraction::fraction, &read_f64>}};
constexpr Field<FixedQty> kFixedQty[] = {{"qty", true, &store<&FixedQty::qty, &read_f64>}};
constexpr Field<FixedCash> kFixedCash[] = {{"cash", true, &store<&FixedCash::cash, &read_f64>}};
constexpr Field<VolTarget> kVolTarget[] = {
    {"target_vol", true, &store<&VolTarget::target_vol, &read_f64>},
    {"lookback", true, &store<&VolTarget::lookback, &read_u32>},
};
constexpr Field<RiskPerTrade> kRiskPerTrade[] = {
    {"risk_pct", true, &store<&RiskPerTrade::risk_pct, &read_f64>}};

constexpr Field<FixedBps> kFixedBps[] = {{"bps", true, &store<&FixedBps::bps, &read_f64>}};
constexpr Field<VolumeImpact> kVolumeImpact[] = {
    {"coef", true, &store<&VolumeImpact::coef, &read_f64>}};

// Reads one variant's fields and widens the result to the enumeration type.
template <class Enum, class T>
Result<Enum> read_as(const TaggedContent& content, std::span<const Field<T>> fields,
                     std::string_view name) {
  auto variant = read_variant_fields(content, fields, name);
  LANTOR_TRY(variant);
  return Enum(std::move(*variant));
}

}  // namespace

// In the order of the cases of read_sizing and read_slippage below.
std::vector<tables::Members> tables::sizing_variant_members() {
  return {members_of(kFixedFraction), members_of(kFixedQty), members_of(kFixedCash),
          members_of(kVolTarget), members_of(kRiskPerTrade)};
}
std::vector<tables::Members> tables::slippage_variant_members() {
  return {members_of(kFixedBps), {}, members_of(kVolumeImpact)};
}

Result<Sizing> read_sizing(json::Node v) {
  auto content = read_internal_tag(v, names::kSizing, "internally tagged enum Sizing");
  LANTOR_TRY(content);
  switch (content->index) {
    case 0:
      return read_as<Sizing, FixedFraction>(*content, kFixedFraction,
                                            "struct variant Sizing::FixedFraction");
    case 1:
      return read_as<Sizing, FixedQty>(*content, kFixedQty, "struct variant Sizing::FixedQty");
    case 2:
      return read_as<Sizing, FixedCash>(*content, kFixedCash, "struct variant Sizing::FixedCash");
    case 3:
      return read_as<Sizing, VolTarget>(*content, kVolTarget, "struct variant Sizing::VolTarget");
    default:
      return read_as<Sizing, RiskPerTrade>(*content, kRiskPerTrade,
                                           "struct variant Sizing::RiskPerTrade");
  }
}

Result<Slippage> read_slippage(json::Node v) {
  auto content = read_internal_tag(v, names::kSlippage, "internally tagged enum Slippage");
  LANTOR_TRY(content);
  switch (content->index) {
    case 0:
      return read_as<Slippage, FixedBps>(*content, kFixedBps, "struct variant Slippage::FixedBps");
    case 1:
      // No fields: any other members are ignored, and the array form is the
      // tag alone.
      return read_as<Slippage, Spread>(*content, {}, "struct variant Slippage::Spread");
    default:
      return read_as<Slippage, VolumeImpact>(*content, kVolumeImpact,
                                             "struct variant Slippage::VolumeImpact");
  }
}

}  // namespace lantor::strategy
