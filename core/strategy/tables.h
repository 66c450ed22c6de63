// The strategy document's tables: each record's fields and each choice's
// variants, in declaration order, as the readers use them; types() lists
// them all for anything that describes the document (a published schema).
#pragma once

#include <span>
#include <vector>

#include "core/schema/choice.h"
#include "core/schema/listing.h"
#include "core/schema/record.h"
#include "core/strategy/model.h"

namespace lantor::strategy {

template <class T>
using Field = schema::Field<json::Node, T>;
template <class T>
using RecordTable = schema::Record<json::Node, T>;

extern const RecordTable<StrategySpec> kStrategySpec;
extern const RecordTable<IndicatorSpec> kIndicatorSpec;
extern const RecordTable<Costs> kCosts;
extern const RecordTable<Risk> kRisk;
extern const RecordTable<Execution> kExecution;
extern const RecordTable<FixedFraction> kFixedFraction;
extern const RecordTable<FixedQty> kFixedQty;
extern const RecordTable<FixedCash> kFixedCash;
extern const RecordTable<VolTarget> kVolTarget;
extern const RecordTable<RiskPerTrade> kRiskPerTrade;
extern const RecordTable<FixedBps> kFixedBps;
extern const RecordTable<Spread> kSpread;
extern const RecordTable<VolumeImpact> kVolumeImpact;
extern const schema::Choice kSizing;
extern const schema::Choice kSlippage;

// Every type of the document, the document itself first.
const std::vector<schema::TypeInfo>& types();

}  // namespace lantor::strategy
