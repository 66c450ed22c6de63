#include "core/strategy/internal_tag.h"

#include "core/json/describe.h"

namespace lantor::strategy {

namespace {

constexpr std::string_view kTag = "type";

// The tag's value must be a string naming a variant.
Result<std::size_t> read_tag_value(json::Node tag, names::NameList names) {
  if (!tag.is_string()) return fail(json::invalid_type(json::describe(tag), "variant identifier"));
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names::same(names[i], tag.as_string())) return i;
  return fail(
      json::unknown_variant(tag.as_string(), json::variant_list(names.data(), names.size())));
}

}  // namespace

Result<TaggedContent> read_internal_tag(json::Node v, names::NameList names,
                                        std::string_view expected) {
  if (v.is_object()) {
    // Member names are unique, so there is at most one tag; the other members
    // are content and cannot fail until the variant reads them.
    const std::optional<json::Node> tag = v.find(kTag);
    if (!tag) return fail(json::missing_field(kTag));
    auto index = read_tag_value(*tag, names);
    LANTOR_TRY(index);
    return TaggedContent{*index, v, true};
  }
  if (v.is_array()) {
    if (v.size() == 0) return fail(json::missing_field(kTag));
    auto index = read_tag_value(v.elements().front(), names);
    LANTOR_TRY(index);
    return TaggedContent{*index, v, false};
  }
  return fail(json::invalid_type(json::describe(v), expected));
}

}  // namespace lantor::strategy
