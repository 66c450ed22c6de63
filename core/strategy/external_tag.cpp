#include "core/strategy/external_tag.h"

#include "core/json/describe.h"

namespace lantor::strategy {

namespace {

Result<std::size_t> find_name(std::string_view name, names::NameList names) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names::same(names[i], name)) return i;
  return fail(json::unknown_variant(name, json::variant_list(names.data(), names.size())));
}

}  // namespace

Result<TaggedVariant> read_external_tag(json::Node v, names::NameList names) {
  if (v.is_string()) {
    auto index = find_name(v.as_string(), names);
    LANTOR_TRY(index);
    return TaggedVariant{*index, std::nullopt};
  }
  if (v.is_object()) {
    const json::Members members = v.members();
    if (members.size() != 1)
      return fail(json::invalid_value(json::kDescribeObject, "map with a single key"));
    const json::MemberRef only = members.front();
    auto index = find_name(only.name, names);
    LANTOR_TRY(index);
    return TaggedVariant{*index, only.value};
  }
  return fail(json::invalid_type(json::describe(v), "string or map"));
}

Status<> expect_unit(const TaggedVariant& variant) {
  if (!variant.data || variant.data->is_null()) return Ok{};
  return fail(json::invalid_type(json::describe(*variant.data), "unit"));
}

Result<json::Node> newtype_data(const TaggedVariant& variant) {
  if (!variant.data)
    return fail(json::invalid_type(json::kDescribeUnitVariant, "newtype variant"));
  return *variant.data;
}

}  // namespace lantor::strategy
