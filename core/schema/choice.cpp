#include "core/schema/choice.h"

#include <cassert>

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
  LANTOR_ASSIGN_OR_RETURN(const auto name, take_name(v));
  const std::size_t i = variant_index(choice.variants, name);
  if (i == choice.variants.size()) return fail(error_at(v, unknown_variant(name, choice.variants)));
  return i;
}

}  // namespace

Result<TaggedVariant, Error> read_external_tag(json::Node v, std::span<const Variant> variants) {
  if (v.is_string()) {
    const std::size_t i = variant_index(variants, v.as_string());
    if (i == variants.size()) return fail(error_at(v, unknown_variant(v.as_string(), variants)));
    return TaggedVariant{i, std::nullopt};
  }
  if (v.is_object()) {
    const json::Members members = v.members();
    if (members.size() != 1)
      return fail(error_at(v, invalid_value(kDescribeObject, "map with a single key")));
    const json::MemberRef only = members.front();
    const std::size_t i = variant_index(variants, only.name);
    if (i == variants.size()) return fail(error_at(v, unknown_variant(only.name, variants)));
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

Error not_newtype_variant(json::Node v, std::span<const Variant> variants) {
  // As the two steps tell it: one of them fails for such a value.
  Result<TaggedVariant, Error> tag = read_external_tag(v, variants);
  if (!tag.ok()) return std::move(tag).error();
  Result<json::Node, Error> data = newtype_data(v, *tag);
  assert(!data.ok() && "a one-member object naming a variant is read by read_newtype_variant");
  return std::move(data).error();
}

Result<Tagged, Error> read_internal_tag(json::Node v, const Choice& choice) {
  if (v.is_object()) {
    // Member names are unique, so there is at most one tag; the other members
    // are content and cannot fail until the variant reads them.
    const std::optional<json::Node> tag = v.find(choice.tag);
    if (!tag) return fail(error_about(v, missing_field(choice.tag)));
    LANTOR_ASSIGN_OR_RETURN(const std::size_t index, read_tag(*tag, choice));
    return Tagged{index, v, {}, true, choice.tag};
  }
  if (v.is_array()) {
    if (v.size() == 0) return fail(error_about(v, missing_field(choice.tag)));
    LANTOR_ASSIGN_OR_RETURN(const std::size_t index, read_tag(v.elements().front(), choice));
    return Tagged{index, v, v.elements().rest(), false, choice.tag};
  }
  return fail(unexpected(v, choice.expected()));
}

namespace {

// The tape members are set aside on, started with the first of them: a
// choice that sets nothing aside, as most do, reads no more than its tag.
class Aside {
 public:
  Aside(json::Reader& r, SetAside& aside, json::Kind kind) : reader_(r), aside_(aside), kind_(kind) {}
  ~Aside() {
    if (tape_) tape_->end(at_, count_);
  }
  json::TapeReader& tape() {
    if (!tape_) {
      tape_.emplace(reader_, aside_.tape, 0, json::TapeReader::Strings::Copied);
      at_ = tape_->begin(kind_);
    }
    return *tape_;
  }
  // The member (or element) at the reader's position, `name` (or none).
  json::ReadStatus set_aside(std::string_view name, int depth, bool capture) {
    json::TapeReader& t = tape();
    if (kind_ == json::Kind::Object) t.name(name);
    ++count_;
    if (capture && reader_.peek_ws() == '[') {
      LANTOR_TRY(aside_.capture->take(reader_, depth));
      t.end(t.begin(json::Kind::Array), 0);
      return Ok{};
    }
    return t.value(depth);
  }

 private:
  json::Reader& reader_;
  SetAside& aside_;
  json::Kind kind_;
  std::optional<json::TapeReader> tape_;
  std::size_t at_ = 0;
  std::size_t count_ = 0;
};

// The object form from text: the tag read as it comes, the other members
// set aside. Returns the variant's index.
json::ReadResult<std::size_t> read_object_form(json::Reader& r, int depth, const Choice& choice,
                                               SetAside& aside) {
  Aside rest(r, aside, json::Kind::Object);
  std::optional<std::size_t> variant;
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
    const bool capture = aside.capture != nullptr && same_text(name, aside.capture_member);
    LANTOR_TRY(rest.set_aside(name, depth, capture));
  }
  if (!variant) return fail(unplaced(missing_field(choice.tag)));
  return *variant;
}

// The array form from text: the tag first, the other elements set aside.
json::ReadResult<std::size_t> read_array_form(json::Reader& r, int depth, const Choice& choice,
                                              SetAside& aside) {
  bool first = true;
  LANTOR_ASSIGN_OR_RETURN(bool more, r.next_element(first));
  if (!more) return fail(unplaced(missing_field(choice.tag)));
  LANTOR_ASSIGN_OR_RETURN(const std::size_t variant, read_tag(TextValue{&r, depth}, choice));
  Aside rest(r, aside, json::Kind::Array);
  for (std::size_t position = 0;; ++position) {
    LANTOR_ASSIGN_OR_RETURN(more, r.next_element(first));
    if (!more) break;
    const bool capture =
        aside.capture != nullptr && variant == aside.capture_variant && position == aside.capture_position;
    LANTOR_TRY(rest.set_aside({}, depth, capture));
  }
  return variant;
}

// The content of a choice that set nothing aside.
json::Node nothing_set_aside(bool object_form) {
  auto read = [](std::string_view text) {
    json::Reader r(text);
    json::Tape tape;
    (void)json::read_tape(r, 0, tape);
    return tape;
  };
  static const json::Tape object = read("{}");
  static const json::Tape array = read("[]");
  return (object_form ? object : array).root();
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
  // A default tape holds null: nothing was set aside.
  const json::Node root = aside.tape.root().is_null() ? nothing_set_aside(object_form) : aside.tape.root();
  return Tagged{*variant, root, object_form ? json::Elements() : root.elements(), object_form, choice.tag};
}

}  // namespace lantor::schema
