// Records: a type described by a table of fields in declaration order. A
// record is written as a JSON object (members in any order, unknown members
// skipped unread, absent optional fields left at their defaults) or as a
// JSON array holding the fields by position. The same tables serve the
// fields of the variants of tagged choices (choice.h).
//
// One reader serves both sources (source.h): the request bodies read from
// the command text and the strategy's records read from its tape.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/base/short_text.h"
#include "core/json/writer.h"
#include "core/schema/observer.h"
#include "core/schema/source.h"

namespace lantor::schema {

// One field of record T read from source In: its JSON name, whether it must
// be present, what it holds (a type name, see listing.h), how its value is
// read into the record, and how the record's member is written as JSON
// (false where it cannot be). The strategy's rows are made by field()
// (value_reader.h), which takes the type, the reader and the writer from one
// value reader.
template <class In, class T>
struct Field {
  std::string_view name;
  bool required;
  std::string_view type;
  StatusOf<In> (*read)(In value, T& out);
  bool (*write)(const T& record, json::Writer& out) = nullptr;
};

enum class RecordKind : std::uint8_t { Struct, Variant };

template <class In, class T>
struct Record {
  // "StrategySpec", or "Sizing::VolTarget" for the fields of a variant.
  std::string_view name;
  RecordKind kind;
  std::span<const Field<In, T>> fields;

  // "struct StrategySpec", "struct variant Sizing::VolTarget".
  std::string expected() const {
    return std::string(kind == RecordKind::Struct ? "struct " : "struct variant ") + std::string(name);
  }
};

// A field reader that stores what `Read` returns into the member `Member`:
// store<&Costs::maker_bps, &read_f64> reads a float into Costs::maker_bps.
template <class P>
struct MemberOf;
template <class C, class M>
struct MemberOf<M C::*> {
  using Owner = C;
  using Type = M;
};
template <class F>
struct ReaderOf;
template <class R, class A>
struct ReaderOf<R (*)(A)> {
  using In = A;
};
template <class R, class A, class V>
struct ReaderOf<R (*)(A, V&)> {
  using In = A;
};

template <auto Member, auto Read>
StatusOf<typename ReaderOf<decltype(Read)>::In> store(typename ReaderOf<decltype(Read)>::In v,
                                                      typename MemberOf<decltype(Member)>::Owner& out) {
  LANTOR_ASSIGN_OR_RETURN(out.*Member, Read(v));
  return Ok{};
}

// The position of the field named `name`, or fields.size(). The names of a
// record's fields are distinct, so the field at `guess` may be tried first:
// the one after the field last found, as members mostly come in declaration
// order.
template <class In, class T>
std::size_t field_index(std::span<const Field<In, T>> fields, std::string_view name, std::size_t guess = 0) {
  if (guess < fields.size() && same_text(fields[guess].name, name)) return guess;
  std::size_t i = 0;
  while (i < fields.size() && !same_text(fields[i].name, name)) ++i;
  return i;
}

// What a record does with a member whose name is none of its fields: skips
// it, unless the caller wants it (OnUnknown(name, members, out)).
struct SkipUnknown {
  template <class Members, class T>
  auto operator()(std::string_view, Members& members, T&) const {
    return members.skip();
  }
};

// Tells the thread's observer of an unknown member of `object` on a tape;
// `tag`, the tag of an internally tagged choice whose fields these are, is
// known though no field names it. A record of no choice has an empty `tag`,
// which no member matches: a member named "" is as unknown as any.
template <class T>
[[gnu::cold, gnu::noinline]] void note_unknown(ReadObserver& observer, json::Node object,
                                               const NodeMembers& members,
                                               std::span<const Field<json::Node, T>> fields,
                                               std::string_view tag) {
  if (!tag.empty() && same_text(members.name(), tag)) return;
  std::vector<std::string_view> known;
  known.reserve(fields.size());
  for (const Field<json::Node, T>& field : fields) known.push_back(field.name);
  observer.unknown_member(object, members.name(), members.value(), known);
}

// Whether the reading goes on past `failure` in a record of a tape: only
// where the thread's observer takes it (check, which lists every failure).
[[gnu::cold, gnu::noinline]] inline bool goes_on_past(const Error& failure) {
  ReadObserver* observer = current_observer();
  return observer != nullptr && observer->recovered(failure);
}

// The walk of read_members up to its first failure; kept inline, as records
// are read very often and the call would cost more than the walk.
template <class In, class T, class Members, class OnUnknown>
[[gnu::always_inline]] inline StatusOf<In> walk_members(In v, Members& members,
                                                        std::span<const Field<In, T>> fields, T& out,
                                                        OnUnknown& on_unknown, std::string_view tag) {
  std::uint32_t seen = 0;
  std::size_t next_field = 0;
  for (;;) {
    LANTOR_ASSIGN_OR_RETURN(const bool more, members.next());
    if (!more) break;
    const std::string_view name = members.name();
    const std::size_t i = field_index(fields, name, next_field);
    if (i == fields.size()) {
      if constexpr (std::is_same_v<In, json::Node>) {
        if (ReadObserver* observer = current_observer()) [[unlikely]]
          note_unknown(*observer, v, members, fields, tag);
      }
      LANTOR_TRY(on_unknown(name, members, out));
      continue;
    }
    next_field = i + 1;
    const std::uint32_t bit = std::uint32_t{1} << i;
    if (seen & bit) return fail(error_about(v, duplicate_field(name)));
    seen |= bit;
    auto read = members.read([&](In value) { return fields[i].read(value, out); });
    if (!read.ok()) [[unlikely]] {
      if constexpr (std::is_same_v<In, json::Node>) {
        if (goes_on_past(read.error())) continue;
      }
      return fail(std::move(read).error());
    }
  }
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!fields[i].required || (seen & (std::uint32_t{1} << i))) continue;
    auto missing = error_about(v, missing_field(fields[i].name));
    if constexpr (std::is_same_v<In, json::Node>) {
      if (goes_on_past(missing)) continue;
    }
    return fail(std::move(missing));
  }
  return Ok{};
}

// Object form: walks the members in document order, reading those that name
// a field, then reports the first required field that did not occur. The
// first failure ends the walk (unless the thread's observer goes on past it:
// goes_on_past), so a bad value is reported before a missing
// member, and a repeated member as soon as its name is read. `tag` names a
// member that is neither a field nor unknown (the tag of a choice).
template <class In, class T, class OnUnknown = SkipUnknown>
StatusOf<In> read_members(In v, std::span<const Field<In, T>> fields, T& out, OnUnknown on_unknown = {},
                          std::string_view tag = {}) {
  assert(fields.size() <= 32 && "the seen mask holds 32 fields");
  auto members = members_of(v);
  LANTOR_TRY(members.open());
  return members.close(walk_members(v, members, fields, out, on_unknown, tag));
}

// Array form: element i is field i, read in order. An array that ends before
// a required field fails with that field's position against the record's
// counted name; elements past the last field fail as `overflow` says, once
// the fields were read.
template <class In, class T, class Elements>
StatusOf<In> read_positions(Elements& elements, const Record<In, T>& record, Overflow overflow, T& out) {
  const std::span<const Field<In, T>> fields = record.fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    LANTOR_ASSIGN_OR_RETURN(const std::optional<In> element, elements.next());
    if (!element) {
      for (std::size_t j = i; j < fields.size(); ++j)
        if (fields[j].required)
          return fail(elements.error(invalid_length(j, counted_name(record.expected(), fields.size()))));
      return Ok{};
    }
    LANTOR_TRY(fields[i].read(*element, out));
  }
  return elements.finish(overflow, fields.size());
}

// A record in either form; any other value fails with an invalid type
// against the record's name ("struct Costs"). `on_unknown` sees the members
// of the object form that name no field.
template <class In, class T, class OnUnknown = SkipUnknown>
StatusOf<In> read_record(In v, const Record<In, T>& record, T& out, OnUnknown on_unknown = {}) {
  switch (form_of(v)) {
    case Form::Object: return read_members(v, record.fields, out, on_unknown);
    case Form::Array:
      return visit_elements(
          v, [&](auto& elements) { return read_positions(elements, record, Overflow::FewerElements, out); });
    case Form::Other: break;
  }
  return fail(wanting(unexpected(v, record.expected()), record.name));
}

// The same, into a fresh T whose absent fields keep their defaults.
template <class In, class T>
ResultOf<In, T> read_record_value(In v, const Record<In, T>& record) {
  T out{};
  LANTOR_TRY(read_record(v, record, out));
  return out;
}

}  // namespace lantor::schema
