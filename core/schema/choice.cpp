#include "core/schema/choice.h"

#include "core/base/short_text.h"
#include "core/json/tape_reader.h"
#include "core/schema/scalars.h"

namespace lantor::schema {
namespace {

// The position of the variant named `name`, or variants.size().
std::size_t variant_index(std::span<const Variant> variants, std::string_view name) {
  std::size_t i = 0;
  while (i < variants.size() && !same_text(variants[i].name, name)) ++i;
  return i;
}

// A tag's value must be a string naming a variant; the error is about the
// value as read.
template <class In>
ResultOf<In, std::size_t> read_tag(In v, const Choice& choice) {
  if (!is_string(v)) return fail(unexpected(v, "variant identifier"));
  LANTOR_ASSIGN_OR_RETURN(const std::string name, take_string(v));
  const std::size_t i = variant_index(choice.variants, name);
  if (i == choice.variants.size())
    return fail(error_at(v, unknown_variant(name, variant_list(choice.variants))));
  return i;
}

}  // namespace

Result<TaggedVariant, Error> read_external_tag(json::Node v, std::span<const Variant> variants) {
  if (v.is_string()) {
    const std::size_t i = variant_index(variants, v.as_string());
    if (i == variants.size()) return fail(error_at(v, unknown_variant(v.as_string(), variant_list(variants))));
    return TaggedVariant{i, std::nullopt};
  }
  if (v.is_object()) {
    const json::Members members = v.members();
    if (members.size() != 1)
      return fail(error_at(v, invalid_value(kDescribeObject, "map with a single key")));
    const json::MemberRef only = members.front();
    const std::size_t i = variant_index(variants, only.name);
    if (i == variants.size()) return fail(error_at(v, unknown_variant(only.name, variant_list(variants))));
    return TaggedVariant{i, only.value};
  }
  return fail(unexpected(v, "string or map"));
}

Status<Error> expect_unit(json::Node, const TaggedVariant& variant) {
  if (!variant.data || variant.data->is_null()) return Ok{};
  return fail(unexpected(*variant.data, "unit"));
}

Result<json::Node, Error> newtype_data(json::Node v, const TaggedVariant& variant) {
  if (!variant.data) return fail(error_at(v, invalid_type(kDescribeUnitVariant, "newtype variant")));
  return *variant.data;
}

Result<Tagged, Error> read_internal_tag(json::Node v, const Choice& choice) {
  if (v.is_object()) {
    // Member names are unique, so there is at most one tag; the other members
    // are content and cannot fail until the variant reads them.
    const std::optional<json::Node> tag = v.find(choice.tag);
    if (!tag) return fail(error_about(v, missing_field(choice.tag)));
    LANTOR_ASSIGN_OR_RETURN(const std::size_t index, read_tag(*tag, choice));
    return Tagged{index, v, {}, true};
  }
  if (v.is_array()) {
    if (v.size() == 0) return fail(error_about(v, missing_field(choice.tag)));
    LANTOR_ASSIGN_OR_RETURN(const std::size_t index, read_tag(v.elements().front(), choice));
    return Tagged{index, v, v.elements().rest(), false};
  }
  return fail(unexpected(v, choice.expected()));
}

namespace {

// The object form from text: the tag read as it comes, the other members
// set aside. Returns the variant's index.
json::ReadResult<std::size_t> read_object_form(json::Reader& r, int depth, const Choice& choice,
                                               SetAside& aside) {
  json::TapeReader tape(r, aside.tape, 0);
  const std::size_t at = tape.begin(json::Kind::Object);
  std::optional<std::size_t> variant;
  std::size_t count = 0;
  bool first = true;
  std::string name;
  for (;;) {
    LANTOR_ASSIGN_OR_RETURN(const bool more, r.next_key(first, name));
    if (!more) break;
    if (same_text(name, choice.tag)) {
      if (variant) return fail(unplaced(duplicate_field(choice.tag)));
      LANTOR_TRY(r.colon());
      LANTOR_ASSIGN_OR_RETURN(variant, read_tag(TextValue{&r, depth}, choice));
      continue;
    }
    LANTOR_TRY(r.colon());
    tape.name(name);
    if (aside.capture != nullptr && same_text(name, aside.capture_member) && r.peek_ws() == '[') {
      LANTOR_TRY(aside.capture->take(r, depth));
      tape.end(tape.begin(json::Kind::Array), 0);
    } else {
      LANTOR_TRY(tape.value(depth));
    }
    ++count;
  }
  if (!variant) return fail(unplaced(missing_field(choice.tag)));
  tape.end(at, count);
  return *variant;
}

// The array form from text: the tag first, the other elements set aside.
json::ReadResult<std::size_t> read_array_form(json::Reader& r, int depth, const Choice& choice,
                                              SetAside& aside) {
  bool first = true;
  LANTOR_ASSIGN_OR_RETURN(bool more, r.next_element(first));
  if (!more) return fail(unplaced(missing_field(choice.tag)));
  LANTOR_ASSIGN_OR_RETURN(const std::size_t variant, read_tag(TextValue{&r, depth}, choice));
  json::TapeReader tape(r, aside.tape, 0);
  const std::size_t at = tape.begin(json::Kind::Array);
  std::size_t count = 0;
  for (;;) {
    LANTOR_ASSIGN_OR_RETURN(more, r.next_element(first));
    if (!more) break;
    if (aside.capture != nullptr && variant == aside.capture_variant && count == aside.capture_position &&
        r.peek_ws() == '[') {
      LANTOR_TRY(aside.capture->take(r, depth));
      tape.end(tape.begin(json::Kind::Array), 0);
    } else {
      LANTOR_TRY(tape.value(depth));
    }
    ++count;
  }
  tape.end(at, count);
  return variant;
}

}  // namespace

json::ReadResult<Tagged> read_internal_tag(TextValue v, const Choice& choice, SetAside& aside) {
  json::Reader& r = *v.reader;
  const Form form = form_of(v);
  if (form == Form::Other) return fail(unexpected(v, choice.expected()));
  LANTOR_TRY(r.open(v.depth));
  const bool object_form = form == Form::Object;
  json::ReadResult<std::size_t> variant = object_form ? read_object_form(r, v.depth + 1, choice, aside)
                                                      : read_array_form(r, v.depth + 1, choice, aside);
  if (!variant.ok()) {
    json::ReadError e = std::move(variant).error();
    return fail(object_form ? place_after_object(r, std::move(e)) : place_after_array(r, std::move(e)));
  }
  LANTOR_TRY(object_form ? r.end_object() : r.end_array());
  const json::Node root = aside.tape.root();
  return Tagged{*variant, root, object_form ? json::Elements() : root.elements(), object_form};
}

}  // namespace lantor::schema
