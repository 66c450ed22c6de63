// The `indicators` section: a map from indicator name to `IndicatorSpec`.
#include <utility>

#include "core/schema/choice.h"
#include "core/schema/record.h"
#include "core/schema/scalars.h"
#include "core/strategy/readers.h"
#include "core/strategy/tables.h"
#include "core/strategy/variants.h"

namespace lantor::strategy {

namespace {

Read<List<double>> read_params(json::Node v) {
  if (!v.is_array()) return fail(schema::unexpected(v, "a sequence"));
  List<double> params;
  params.reserve(v.size());
  for (json::Node e : v.elements()) {
    LANTOR_ASSIGN_OR_RETURN(const double x, schema::read_f64(e));
    params.push_back(x);
  }
  return params;
}

// Null means no feed.
Read<std::optional<Feed>> read_feed(json::Node v) {
  if (v.is_null()) return std::optional<Feed>();
  LANTOR_ASSIGN_OR_RETURN(const Feed feed, schema::read_unit_enum<Feed>(v, variants::kFeed));
  return std::optional<Feed>(feed);
}

using schema::store;

constexpr Field<IndicatorSpec> kIndicatorFields[] = {
    {"type", true, "string", &store<&IndicatorSpec::type, &schema::read_string<json::Node>>},
    {"params", false, "[f64]", &store<&IndicatorSpec::params, &read_params>},
    {"feed", false, "Feed?", &store<&IndicatorSpec::feed, &read_feed>},
};

}  // namespace

const RecordTable<IndicatorSpec> kIndicatorSpec = {"IndicatorSpec", schema::RecordKind::Struct,
                                                   kIndicatorFields};

Read<IndicatorMap> read_indicators(json::Node v) {
  if (!v.is_object()) return fail(schema::unexpected(v, "a map"));
  // Read in document order, so that the first bad one is the one reported.
  List<IndicatorMap::value_type> entries;
  entries.reserve(v.size());
  for (json::MemberRef member : v.members()) {
    // Names are unique; each is read where it will stay.
    IndicatorSpec& spec = entries.emplace_back(std::string(member.name), IndicatorSpec{}).second;
    LANTOR_TRY(read_record(member.value, kIndicatorSpec, spec));
  }
  return IndicatorMap(std::move(entries));
}

}  // namespace lantor::strategy
