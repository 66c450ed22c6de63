// Value readers: how one kind of value is read from a source (a tape, or the
// command text), together with the type it reads (written as listing.h
// writes types) and how such a value is written back as JSON. A record's rows
// are made from them by field(), so a member's listed type is always the type
// of the reader that reads it, and its default (the member of a
// default-constructed record) can be written out for whatever describes the
// document.
//
//   field<&Costs::maker_bps, value::kF64>("maker_bps", kOptional)
//   field<&StrategySpec::warmup, nullable<value::kU32>>("warmup", kOptional)
//   field<kEmbedData>("embed_data", kOptional)      (a reader in place, below)
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/json/writer.h"
#include "core/schema/record.h"
#include "core/schema/source.h"

namespace lantor::schema {

template <class V, class In = json::Node>
struct ValueReader {
  using Value = V;
  using Source = In;
  std::string_view type;
  ResultOf<In, V> (*read)(In);
  // Writes a value as JSON and says whether it could: false for a value of
  // a kind no writer is kept for (a present rule: rules are never defaults),
  // and always false where `write` is null.
  bool (*write)(const V&, json::Writer&);
  // Where given, reads the value into a default one in place, as `read`
  // would make it: a record's member is then filled where it lies instead
  // of being made and moved in.
  StatusOf<In> (*read_into)(In, V&) = nullptr;
};

template <const auto& R>
using ValueOf = typename std::remove_cvref_t<decltype(R)>::Value;

inline constexpr bool kRequired = true;
inline constexpr bool kOptional = false;

// Writes `v` with the reader `R`'s writer, if it has one.
template <const auto& R>
bool write_with(const ValueOf<R>& v, json::Writer& out) {
  if constexpr (R.write == nullptr) {
    return false;
  } else {
    return R.write(v, out);
  }
}

// Writes the member `Member` of a record with the reader `R`'s writer.
template <auto Member, const auto& R>
bool write_member(const typename MemberOf<decltype(Member)>::Owner& record, json::Writer& out) {
  return write_with<R>(record.*Member, out);
}

template <const auto& R>
using SourceOf = typename std::remove_cvref_t<decltype(R)>::Source;

// A field reader that reads the member `Member` in place with `ReadInto`. A
// member that fails to read is left at its default, as `store` leaves it.
template <auto Member, auto ReadInto>
StatusOf<typename ReaderOf<decltype(ReadInto)>::In> store_into(
    typename ReaderOf<decltype(ReadInto)>::In v, typename MemberOf<decltype(Member)>::Owner& out) {
  auto read = ReadInto(v, out.*Member);
  if (!read.ok()) [[unlikely]]
    out.*Member = typename MemberOf<decltype(Member)>::Type{};
  return read;
}

// The row of a record's table for the member `Member`, read by `R`.
template <auto Member, const auto& R>
constexpr Field<SourceOf<R>, typename MemberOf<decltype(Member)>::Owner> field(std::string_view name,
                                                                               bool required) {
  static_assert(std::is_same_v<typename MemberOf<decltype(Member)>::Type, ValueOf<R>>,
                "the reader reads the member's type");
  if constexpr (R.read_into != nullptr) {
    return {name, required, R.type, &store_into<Member, R.read_into>, &write_member<Member, R>};
  } else {
    return {name, required, R.type, &store<Member, R.read>, &write_member<Member, R>};
  }
}

// A reader of a member read in place, into the record: a value too large to
// move once more, or one whose reading needs what the record holds already
// (an inline dataset's digest starts with the crate name read before it).
// A writer of the member is kept where one is given.
template <class T, class In>
struct InPlaceReader {
  using Record = T;
  using Source = In;
  std::string_view type;
  StatusOf<In> (*read)(In, T&);
  bool (*write)(const T&, json::Writer&) = nullptr;
};

// The row of a record's table for the member that `R` reads in place.
template <const auto& R>
constexpr Field<SourceOf<R>, typename std::remove_cvref_t<decltype(R)>::Record> field(std::string_view name,
                                                                                      bool required) {
  return {name, required, R.type, R.read, R.write};
}

// The pieces the writers below share, out of line so that the many writers
// made from these templates do not each carry the JSON writer's code.
void open_object(json::Writer& out, std::string_view tag = {}, std::string_view variant = {});
void write_key(json::Writer& out, std::string_view name);
void close_object(json::Writer& out);
void open_array(json::Writer& out);
void close_array(json::Writer& out);
void write_null(json::Writer& out);
void write_name(std::string_view name, json::Writer& out);

// A record as an object of all its members in table order; for a variant of
// an internally tagged choice, the tag member naming the variant first.
template <class T>
bool write_record(const T& record, const Record<json::Node, T>& table, json::Writer& out,
                  std::string_view tag = {}, std::string_view variant = {}) {
  open_object(out, tag, variant);
  for (const Field<json::Node, T>& f : table.fields) {
    write_key(out, f.name);
    if (f.write == nullptr || !f.write(record, out)) return false;
  }
  close_object(out);
  return true;
}

// ---- Forms of other readers' values ---------------------------------------

// `text` between `open` and `close`, as a constant: the name of a type made
// from another's ("u32?", "[f64]").
template <std::size_t N>
struct TypeName {
  std::array<char, N> chars{};
  constexpr std::string_view view() const { return {chars.data(), N}; }
};
template <std::size_t N>
constexpr TypeName<N> wrapped(std::string_view open, std::string_view text, std::string_view close) {
  TypeName<N> out;
  std::size_t i = 0;
  for (const std::string_view part : {open, text, close})
    for (const char c : part) out.chars[i++] = c;
  return out;
}

// X?: null (absent) or a value of R.
template <const auto& R>
struct Nullable {
  using Inner = ValueOf<R>;
  using In = SourceOf<R>;
  static constexpr auto kName = wrapped<R.type.size() + 1>("", R.type, "?");

  static ResultOf<In, std::optional<Inner>> read(In v) {
    if (is_null(v)) {
      LANTOR_TRY(take_null(v));
      return std::optional<Inner>();
    }
    LANTOR_ASSIGN_OR_RETURN(Inner && inner, R.read(v));
    return std::optional<Inner>(std::move(inner));
  }
  static bool write(const std::optional<Inner>& v, json::Writer& out) {
    if (!v) {
      write_null(out);
      return true;
    }
    return write_with<R>(*v, out);
  }
};
template <const auto& R>
inline constexpr ValueReader<std::optional<ValueOf<R>>, SourceOf<R>> nullable = {
    Nullable<R>::kName.view(), &Nullable<R>::read, &Nullable<R>::write};

// [X]: a sequence of values of R, into the container L.
template <class L, const auto& R>
struct Sequence {
  static constexpr auto kName = wrapped<R.type.size() + 2>("[", R.type, "]");

  static Status<Error> read_into(json::Node v, L& out) {
    if (!v.is_array()) return fail(unexpected(v, "a sequence"));
    out.clear();
    out.reserve(v.size());
    for (json::Node e : v.elements()) {
      LANTOR_ASSIGN_OR_RETURN(auto&& item, R.read(e));
      out.push_back(std::move(item));
    }
    return Ok{};
  }
  static Result<L, Error> read(json::Node v) {
    L out;
    LANTOR_TRY(read_into(v, out));
    return out;
  }
  static bool write(const L& items, json::Writer& out) {
    open_array(out);
    for (const auto& item : items)
      if (!write_with<R>(item, out)) return false;
    close_array(out);
    return true;
  }
};
template <class L, const auto& R>
inline constexpr ValueReader<L> sequence = {Sequence<L, R>::kName.view(), &Sequence<L, R>::read,
                                            &Sequence<L, R>::write, &Sequence<L, R>::read_into};

}  // namespace lantor::schema
