// Externally tagged enumerations: a variant is written as its name (a bare
// string) or as an object with exactly one member, the name, whose value is
// the variant's data. A variant without data takes a bare name or a null
// value; a variant with data needs the object form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/base/result.h"
#include "core/json/tape.h"
#include "core/strategy/names.h"

namespace lantor::strategy {

// A recognised variant: its position in the name list and its data, which is
// absent for the bare-string form.
struct TaggedVariant {
  std::size_t index;
  std::optional<json::Node> data;
};

// Recognises the shape and the name. Fails for a shape that is neither a
// string nor a one-member object, and for a name not in `names`.
Result<TaggedVariant> read_external_tag(json::Node v, names::NameList names);

// Checks that a variant without data carries none (absent or null).
Status<> expect_unit(const TaggedVariant& variant);

// The data of a variant that must carry some; fails for the bare-string form.
Result<json::Node> newtype_data(const TaggedVariant& variant);

// Reads an enumeration whose variants all carry no data into the enumerator
// at the variant's position.
template <class E>
Result<E> read_unit_enum(json::Node v, names::NameList names) {
  auto variant = read_external_tag(v, names);
  LANTOR_TRY(variant);
  LANTOR_TRY(expect_unit(*variant));
  return static_cast<E>(variant->index);
}

}  // namespace lantor::strategy
