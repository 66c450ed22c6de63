// Internally tagged enumerations (`Sizing`, `Slippage`): an object whose
// member "type" names the variant, with the variant's fields beside it, or an
// array whose first element is the tag and whose further elements are the
// fields by position.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "core/base/result.h"
#include "core/json/tape.h"
#include "core/strategy/names.h"
#include "core/strategy/record.h"

namespace lantor::strategy {

// A recognised tag with the variant's content: the whole object (the tag
// member included) or the array elements after the tag.
struct TaggedContent {
  std::size_t index;
  json::Node value;  // the object, or the array whose first element is the tag
  bool object_form;
};

// Finds and checks the tag. `expected` names the enumeration for a value of
// the wrong kind ("internally tagged enum Sizing").
Result<TaggedContent> read_internal_tag(json::Node v, names::NameList names,
                                        std::string_view expected);

// Reads the content as the fields of one variant, all of them required.
// `name` is the variant's qualified name ("struct variant Sizing::VolTarget")
// for an array form that ends early. The tag member is never one of the
// fields, so walking the whole object reads exactly the content.
template <class T>
Result<T> read_variant_fields(const TaggedContent& content, std::span<const Field<T>> fields,
                              std::string_view name) {
  T out{};
  if (content.object_form) {
    LANTOR_TRY(read_members(content.value.members(), fields, out));
  } else {
    LANTOR_TRY(read_positional(content.value.elements().rest(), fields, name,
                               Overflow::ElementsInSequence, out));
  }
  return out;
}

}  // namespace lantor::strategy
