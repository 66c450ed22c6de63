// Records: a type described by a table of fields in declaration order. A
// record is written as a JSON object (members in any order, unknown members
// skipped unread, absent optional fields left at their defaults) or as a JSON
// array holding the fields by position. The same tables serve the fields of
// the internally tagged variants (internal_tag.h).
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/base/result.h"
#include "core/json/describe.h"
#include "core/json/tape.h"
#include "core/strategy/names.h"

namespace lantor::strategy {

// One field of record T: its JSON name, whether it must be present, and how
// its value is read into the record.
template <class T>
struct Field {
  std::string_view name;
  bool required;
  Status<> (*read)(json::Node v, T& out);
};

// A field reader that stores what `Read` returns into the member `Member`:
// store<&Costs::maker_bps, &read_f64> reads a float into Costs::maker_bps.
template <class P>
struct MemberOf;
template <class C, class M>
struct MemberOf<M C::*> {
  using Owner = C;
};

template <auto Member, auto Read>
Status<> store(json::Node v, typename MemberOf<decltype(Member)>::Owner& out) {
  auto value = Read(v);
  LANTOR_TRY(value);
  out.*Member = std::move(*value);
  return Ok{};
}

// What to say when an array form holds more elements than there are fields.
enum class Overflow : std::uint8_t {
  // "invalid length {array length}, expected fewer elements in array"
  FewerElements,
  // "invalid length {array length}, expected {fields} elements in sequence"
  ElementsInSequence,
};

// Object form: walks the members in document order, reading those that name
// a field, then reports the first required field that did not occur. The
// first failure ends the walk, so a bad value is reported before a missing
// member. Fields are few, so a linear lookup is the cheapest.
template <class T>
Status<> read_members(json::Members members, std::span<const Field<T>> fields, T& out) {
  assert(fields.size() <= 32 && "the seen mask holds 32 fields");
  std::uint32_t seen = 0;
  for (json::MemberRef member : members) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (!names::same(fields[i].name, member.name)) continue;
      LANTOR_TRY(fields[i].read(member.value, out));
      seen |= std::uint32_t{1} << i;
      break;
    }
  }
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].required && !(seen & (std::uint32_t{1} << i)))
      return fail(json::missing_field(fields[i].name));
  return Ok{};
}

// Array form: element i is field i. Elements are read first, in order; an
// array that ends before a required field fails with that field's position
// against `counted` (the record's name, counted by counted_name); one that
// runs past the last field fails once all fields have been read.
template <class T>
Status<> read_positional(json::Elements elements, std::span<const Field<T>> fields,
                         std::string_view name, Overflow overflow, T& out) {
  auto element = elements.begin();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i < elements.size()) {
      LANTOR_TRY(fields[i].read(*element, out));
      ++element;
    } else if (fields[i].required) {
      return fail(json::invalid_length(i, json::counted_name(name, fields.size())));
    }
  }
  if (elements.size() > fields.size()) {
    if (overflow == Overflow::FewerElements)
      return fail(json::invalid_length(elements.size(), "fewer elements in array"));
    return fail(json::invalid_length(elements.size(), json::elements_in_sequence(fields.size())));
  }
  return Ok{};
}

// A record in either form; any other value fails with an invalid type
// against `name` ("struct Costs").
template <class T>
Result<T> read_record(json::Node v, std::span<const Field<T>> fields,
                      std::string_view name) {
  T out{};
  if (v.is_object()) {
    LANTOR_TRY(read_members(v.members(), fields, out));
  } else if (v.is_array()) {
    LANTOR_TRY(read_positional(v.elements(), fields, name,
                               Overflow::FewerElements, out));
  } else {
    return fail(json::invalid_type(json::describe(v), name));
  }
  return out;
}

}  // namespace lantor::strategy
