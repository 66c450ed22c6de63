// The `indicators` section: a map from indicator name to `IndicatorSpec`.
#include <utility>
#include <vector>

#include "core/json/describe.h"
#include "core/strategy/external_tag.h"
#include "core/strategy/names.h"
#include "core/strategy/readers.h"
#include "core/strategy/record.h"
#include "core/strategy/scalars.h"
#include "core/strategy/tables.h"

namespace lantor::strategy {

namespace {

Result<List<double>> read_params(json::Node v) {
  if (!v.is_array()) return fail(json::invalid_type(json::describe(v), "a sequence"));
  List<double> params;
  params.reserve(v.size());
  for (json::Node e : v.elements()) {
    auto x = read_f64(e);
    LANTOR_TRY(x);
    params.push_back(*x);
  }
  return params;
}

// Null means no feed.
Result<std::optional<Feed>> read_feed(json::Node v) {
  if (v.is_null()) return std::optional<Feed>();
  auto feed = read_unit_enum<Feed>(v, names::kFeed);
  LANTOR_TRY(feed);
  return std::optional<Feed>(*feed);
}

constexpr Field<IndicatorSpec> kIndicatorFields[] = {
    {"type", true, &store<&IndicatorSpec::type, &read_string>},
    {"params", false, &store<&IndicatorSpec::params, &read_params>},
    {"feed", false, &store<&IndicatorSpec::feed, &read_feed>},
};

}  // namespace

tables::Members tables::indicator_members() { return members_of(kIndicatorFields); }

Result<IndicatorMap> read_indicators(json::Node v) {
  if (!v.is_object()) return fail(json::invalid_type(json::describe(v), "a map"));
  // Read in document order, so that the first bad one is the one reported.
  List<IndicatorMap::value_type> entries;
  entries.reserve(v.size());
  for (json::MemberRef member : v.members()) {
    auto spec = read_record<IndicatorSpec>(member.value, kIndicatorFields, "struct IndicatorSpec");
    LANTOR_TRY(spec);
    // Names are unique.
    entries.emplace_back(std::string(member.name), std::move(*spec));
  }
  return IndicatorMap(std::move(entries));
}

}  // namespace lantor::strategy
