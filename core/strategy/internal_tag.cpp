#include "core/strategy/internal_tag.h"

#include "core/json/describe.h"

namespace lantor::strategy {

namespace {

constexpr std::string_view kTag = "type";

// The tag's value must be a string naming a variant.
Result<std::size_t> read_tag_value(const json::Value& tag, names::NameList names) {
  if (!tag.is_string()) return fail(json::invalid_type(json::describe(tag), "variant identifier"));
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names::same(names[i], tag.as_string())) return i;
  return fail(
      json::unknown_variant(tag.as_string(), json::variant_list(names.data(), names.size())));
}

}  // namespace

Result<TaggedContent> read_internal_tag(const json::Value& v, names::NameList names,
                                        std::string_view expected) {
  if (v.is_object()) {
    // Member names are unique, so there is at most one tag; the other members
    // are content and cannot fail until the variant reads them.
    const json::Object& members = v.as_object();
    const json::Value* tag = members.find(kTag);
    if (tag == nullptr) return fail(json::missing_field(kTag));
    auto index = read_tag_value(*tag, names);
    LANTOR_TRY(index);
    return TaggedContent{*index, &members, {}};
  }
  if (v.is_array()) {
    const json::Array& elements = v.as_array();
    if (elements.empty()) return fail(json::missing_field(kTag));
    auto index = read_tag_value(elements.front(), names);
    LANTOR_TRY(index);
    return TaggedContent{*index, nullptr, std::span<const json::Value>(elements).subspan(1)};
  }
  return fail(json::invalid_type(json::describe(v), expected));
}

}  // namespace lantor::strategy
