// Listing a document's types, for whatever describes the documents outside
// the readers (a published JSON Schema, a cross-check of one): each type's
// members or variants in declaration order, made from the same tables the
// readers use.
//
// A member's or variant's type is written by name:
//   string, bool, u32, f64     the scalars (u32: an integer 0..4294967295)
//   any                        any JSON value
//   X?                         X, or null meaning absent
//   [X]                        a sequence of X
//   {X}                        a map from names to X
//   (X, Y)                     a tuple: an array of exactly these
//   Name                       another type of the same listing
//
// The scalars' JSON types and ranges are in scalars.h (kScalarTypes).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/schema/choice.h"
#include "core/schema/describe.h"
#include "core/schema/record.h"

namespace lantor::schema {

struct MemberInfo {
  std::string_view name;
  bool required;
  std::string_view type;
  // An optional member's default, the member of a default-constructed
  // record, as JSON; empty for a required member and where no writer is kept
  // (the request bodies).
  std::string default_json = {};
};

enum class Shape : std::uint8_t {
  Record,            // members; object or array form
  InternallyTagged,  // variants named by the member `tag`; their data a record's name or ""
  ExternallyTagged,  // variants as a name or a one-member object; their data a type or ""
  Untagged,          // variants tried in order by form; their data a type
};

struct TypeInfo {
  std::string_view name;
  Shape shape;
  std::vector<MemberInfo> members;
  std::span<const Variant> variants;
  std::string_view tag;
};

template <class In, class T>
TypeInfo record_info(const Record<In, T>& record) {
  TypeInfo info{record.name, Shape::Record, {}, {}, {}};
  const T fresh{};
  for (const Field<In, T>& f : record.fields) {
    MemberInfo& m = info.members.emplace_back(MemberInfo{f.name, f.required, f.type});
    json::Writer out;
    if (!f.required && f.write != nullptr && f.write(fresh, out)) m.default_json = out.take();
  }
  return info;
}

inline TypeInfo choice_info(const Choice& choice) {
  return {choice.name, Shape::InternallyTagged, {}, choice.variants, choice.tag};
}

inline TypeInfo enum_info(std::string_view name, std::span<const Variant> variants,
                          Shape shape = Shape::ExternallyTagged) {
  return {name, shape, {}, variants, {}};
}

}  // namespace lantor::schema
