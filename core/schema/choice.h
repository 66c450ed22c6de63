// Tagged choices: a value that is one of a list of variants, named by a tag.
//
// - Externally tagged: a variant is written as its name (a bare string) or as
//   an object with exactly one member, the name, whose value is the
//   variant's data. A variant without data takes a bare name or a null
//   value; a variant with data needs the object form. Read from a tape.
// - Internally tagged: an object whose member named by the choice's tag
//   ("kind", "type") names the variant, with the variant's fields beside it,
//   or an array whose first element is the tag and whose further elements
//   are the fields by position. Read from a tape, where the whole object is
//   at hand, or from the command text, where every member but the tag is set
//   aside as it comes and read as the variant's own once the choice is read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/base/short_text.h"
#include "core/json/tape.h"
#include "core/json/writer.h"
#include "core/schema/record.h"
#include "core/schema/source.h"
#include "core/schema/value_reader.h"

namespace lantor::schema {

// ---- Externally tagged ------------------------------------------------------

// A list of variants with an index by name, made at compile time: a name is
// found in a probe or two of a small open-addressed table instead of a walk
// along the list. Made only as a constant from a list that lives as long:
//   inline constexpr VariantIndex kShapeIndex{kShape};
class VariantIndex {
 public:
  template <std::size_t N>
  explicit constexpr VariantIndex(const Variant (&variants)[N]) : variants_(variants) {
    static_assert(N < kSlots, "an empty slot ends every probe");
    for (std::size_t i = 0; i < N; ++i) {
      std::size_t s = slot_of(variants[i].name);
      while (slots_[s] != 0) s = (s + 1) % kSlots;
      slots_[s] = static_cast<std::uint8_t>(i + 1);
    }
  }
  std::span<const Variant> variants() const noexcept { return variants_; }
  // The position of the variant named `name`, or variants().size().
  std::size_t find(std::string_view name) const noexcept {
    for (std::size_t s = slot_of(name);; s = (s + 1) % kSlots) {
      const std::size_t at = slots_[s];
      if (at == 0) return variants_.size();
      if (same_text(variants_[at - 1].name, name)) return at - 1;
    }
  }

 private:
  static constexpr std::size_t kSlots = 32;
  // From the length and the two end bytes, which tell short names apart.
  static constexpr std::size_t slot_of(std::string_view name) noexcept {
    if (name.empty()) return 0;
    const std::size_t first = static_cast<unsigned char>(name.front());
    const std::size_t last = static_cast<unsigned char>(name.back());
    return (name.size() * 2 + first * 5 + last) % kSlots;
  }

  std::span<const Variant> variants_;
  std::array<std::uint8_t, kSlots> slots_{};
};

// A recognised variant: its position in the list and its data, which is
// absent for the bare-string form.
struct TaggedVariant {
  std::size_t index;
  std::optional<json::Node> data;
};

// Recognises the shape and the name. Fails for a shape that is neither a
// string nor a one-member object, and for a name not in `variants`.
Result<TaggedVariant, Error> read_external_tag(json::Node v, std::span<const Variant> variants);

// Checks that a variant without data carries none (absent or null).
Status<Error> expect_unit(json::Node v, const TaggedVariant& variant);

// The data of a variant that must carry some; fails for the bare-string form.
Result<json::Node, Error> newtype_data(json::Node v, const TaggedVariant& variant);

// A variant that carries data, and its data.
struct NewtypeVariant {
  std::size_t index;
  json::Node data;
};

// The failure of read_newtype_variant for a value that is not a one-member
// object naming one of `variants`.
[[gnu::cold]] Error not_newtype_variant(json::Node v, std::span<const Variant> variants);

// read_external_tag and newtype_data in one step: the one-member object form
// naming a variant, or the first failure of the two.
inline Result<NewtypeVariant, Error> read_newtype_variant(json::Node v, const VariantIndex& variants) {
  if (v.is_object() && v.size() == 1) {
    const json::MemberRef only = v.members().front();
    const std::size_t i = variants.find(only.name);
    if (i < variants.variants().size()) return NewtypeVariant{i, only.value};
  }
  return fail(not_newtype_variant(v, variants.variants()));
}

// Reads a choice whose variants all carry no data into the enumerator at the
// variant's position.
template <class E>
Result<E, Error> read_unit_enum(json::Node v, const VariantIndex& variants) {
  // The bare name, as such choices are mostly written.
  if (v.is_string()) {
    const std::size_t i = variants.find(v.as_string());
    if (i < variants.variants().size()) return static_cast<E>(i);
  }
  LANTOR_ASSIGN_OR_RETURN(const TaggedVariant variant, read_external_tag(v, variants.variants()));
  LANTOR_TRY(expect_unit(v, variant));
  return static_cast<E>(variant.index);
}

// Writes a variant without data as its name: the variant at the enumerator's
// position.
template <class E>
bool write_unit_enum(E e, std::span<const Variant> variants, json::Writer& out) {
  write_name(variants[static_cast<std::size_t>(e)].name, out);
  return true;
}

// ---- Internally tagged ------------------------------------------------------

struct Choice {
  std::string_view name;  // "Sizing"
  std::string_view tag;   // "type"
  std::span<const Variant> variants;

  // "internally tagged enum Sizing"
  std::string expected() const { return "internally tagged enum " + std::string(name); }
};

// A recognised tag with the variant's content: in the object form the
// object's members (the tag among them or not: it is never a field), in the
// array form the elements after the tag.
struct Tagged {
  std::size_t index = 0;
  json::Node container;
  json::Elements rest;
  bool object_form = true;
  // The choice's tag member, which the object form holds beside the fields.
  std::string_view tag;
};

// Finds and checks the tag of a choice on a tape.
Result<Tagged, Error> read_internal_tag(json::Node v, const Choice& choice);

// Takes the array value of one member of a choice read from text, instead of
// letting it be set aside: the reader stands before the array, with `depth`
// levels open around it.
class Capture {
 public:
  virtual json::ReadStatus take(json::Reader& reader, int depth) = 0;

 protected:
  ~Capture() = default;
};

// The members (or elements) of a choice read from text other than its tag,
// set aside on a tape as they come, repeated names included.
struct SetAside {
  json::Tape tape;
  // An array that is the value of the member `capture_member` (object
  // form), or the element at `capture_position` after the tag of the variant
  // `capture_variant` (array form), goes to `capture` instead, and stands
  // among the rest as an empty array.
  Capture* capture = nullptr;
  std::string_view capture_member;
  std::size_t capture_variant = 0;
  std::size_t capture_position = 0;
};

// Reads a choice from text: the tag is checked as soon as it is read, and
// the content is what was set aside. Errors of the choice as a whole (no tag,
// a second one) are placed past its closing brace or bracket.
json::ReadResult<Tagged> read_internal_tag(TextValue v, const Choice& choice, SetAside& aside);

// Reads the content as the fields of one variant, all of them required.
// The record names the variant ("Sizing::VolTarget") for an array form that
// ends early; one that runs long fails with the number of elements expected
// in sequence.
template <class T>
Status<Error> read_variant(const Tagged& content, const Record<json::Node, T>& record, T& out) {
  if (content.object_form)
    return read_members(content.container, record.fields, out, SkipUnknown{}, content.tag);
  NodeElements elements(content.container, content.rest);
  return read_positions(elements, record, Overflow::ElementsInSequence, out);
}

}  // namespace lantor::schema
