// The `indicators` section: a map from indicator name to `IndicatorSpec`.
#include <cstdint>
#include <string_view>
#include <utility>

#include "core/schema/choice.h"
#include "core/schema/record.h"
#include "core/schema/scalars.h"
#include "core/schema/value_reader.h"
#include "core/strategy/readers.h"
#include "core/strategy/tables.h"
#include "core/strategy/variants.h"

namespace lantor::strategy {

namespace {

// The feed's name; null (no feed) is read by the nullable form around it.
Read<Feed> read_feed(json::Node v) { return schema::read_unit_enum<Feed>(v, variants::kFeedIndex); }
bool write_feed(const Feed& f, json::Writer& out) { return schema::write_unit_enum(f, variants::kFeed, out); }
constexpr schema::ValueReader<Feed> kFeed = {"Feed", &read_feed, &write_feed};

using schema::field;
using schema::kOptional;
using schema::kRequired;

constexpr Field<IndicatorSpec> kIndicatorFields[] = {
    field<&IndicatorSpec::type, schema::value::kString>("type", kRequired),
    field<&IndicatorSpec::params, schema::sequence<List<double>, schema::value::kF64>>("params", kOptional),
    field<&IndicatorSpec::feed, schema::nullable<kFeed>>("feed", kOptional),
};

}  // namespace

const RecordTable<IndicatorSpec> kIndicatorSpec = {"IndicatorSpec", schema::RecordKind::Struct,
                                                   kIndicatorFields};

Read<IndicatorMap> read_indicators(json::Node v) {
  if (!v.is_object()) return fail(schema::unexpected(v, "a map"));
  // The tape's names are distinct: where each entry goes in name order is
  // worked out on them first, so that each one is read in place.
  const std::size_t n = v.size();
  List<std::string_view> names;
  names.reserve(n);
  for (json::MemberRef member : v.members()) names.push_back(member.name);
  List<std::uint32_t> places(n);
  name_places(names, places);
  // Read in document order, so that the first bad one is the one reported.
  List<IndicatorMap::value_type> entries(n);
  std::size_t i = 0;
  for (json::MemberRef member : v.members()) {
    auto& [name, spec] = entries[places[i++]];
    name = member.name;
    LANTOR_TRY(read_record(member.value, kIndicatorSpec, spec));
  }
  return IndicatorMap(std::move(entries));
}

}  // namespace lantor::strategy
