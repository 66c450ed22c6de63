// Reading a record (a struct of named members) from the command text, in its
// object form or its array form, against a table of fields.
//
// Some errors cannot be placed when they are found: a missing or repeated
// member, an array too short, or a failure in the set-aside members of a
// tagged choice. They are returned "unplaced" and the innermost record
// around them places them once it has consumed what closes it: its closing
// brace (or bracket) when that comes next.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/json/describe.h"
#include "core/json/reader.h"

namespace lantor::request {

using json::ReadError;
using json::ReadStatus;

inline constexpr std::size_t kUnplaced = SIZE_MAX;

inline ReadError unplaced(std::string message) { return {std::move(message), kUnplaced}; }

// Places an unplaced error where the reader stands after the end of the
// enclosing object or array has been consumed as far as the text allows.
inline ReadError place_after_object(json::Reader& r, ReadError e) {
  if (e.offset == kUnplaced) {
    (void)r.end_object();
    e.offset = r.offset();
  }
  return e;
}
inline ReadError place_after_array(json::Reader& r, ReadError e) {
  if (e.offset == kUnplaced) {
    (void)r.end_array();
    e.offset = r.offset();
  }
  return e;
}

template <class T>
struct Field {
  std::string_view name;
  bool required;
  // Reads the member's value (the reader stands before it) into `out`;
  // `depth` is the record's own nesting level.
  ReadStatus (*read)(json::Reader& r, int depth, T& out);
};

struct RecordNames {
  std::string_view expected;  // "struct CompileSpec"
  std::string_view counted;   // "struct CompileSpec with 5 elements"
};

namespace detail {

template <class T, std::size_t N>
ReadStatus read_members(json::Reader& r, int depth, const std::array<Field<T>, N>& fields, T& out) {
  std::array<bool, N> seen{};
  bool first = true;
  std::string name;
  for (;;) {
    json::ReadResult<bool> more = r.next_key(first, name);
    LANTOR_TRY(more);
    if (!*more) break;
    std::size_t i = 0;
    while (i < N && fields[i].name != name) ++i;
    if (i == N) {
      // Unknown members are only syntax-checked, at any depth.
      LANTOR_TRY(r.colon());
      LANTOR_TRY(r.skip_value());
      continue;
    }
    if (seen[i]) return fail(unplaced(json::duplicate_field(name)));
    seen[i] = true;
    LANTOR_TRY(r.colon());
    LANTOR_TRY(fields[i].read(r, depth, out));
  }
  for (std::size_t i = 0; i < N; ++i) {
    if (fields[i].required && !seen[i]) return fail(unplaced(json::missing_field(fields[i].name)));
  }
  return Ok{};
}

template <class T, std::size_t N>
ReadStatus read_elements(json::Reader& r, int depth, const RecordNames& names,
                         const std::array<Field<T>, N>& fields, T& out) {
  bool first = true;
  for (std::size_t i = 0; i < N; ++i) {
    json::ReadResult<bool> more = r.next_element(first);
    LANTOR_TRY(more);
    if (!*more) {
      // Missing optional members at the end take their defaults.
      for (std::size_t j = i; j < N; ++j)
        if (fields[j].required) return fail(unplaced(json::invalid_length(i, names.counted)));
      return Ok{};
    }
    LANTOR_TRY(fields[i].read(r, depth, out));
  }
  return Ok{};
}

}  // namespace detail

// Reads a record at the reader's position; `depth` levels are open around it.
template <class T, std::size_t N>
ReadStatus read_record(json::Reader& r, int depth, const RecordNames& names,
                       const std::array<Field<T>, N>& fields, T& out) {
  int c = r.peek_ws();
  if (c == '{') {
    LANTOR_TRY(r.open(depth));
    ReadStatus s = detail::read_members(r, depth + 1, fields, out);
    if (!s) return fail(place_after_object(r, std::move(s).error()));
    return r.end_object();
  }
  if (c == '[') {
    LANTOR_TRY(r.open(depth));
    ReadStatus s = detail::read_elements(r, depth + 1, names, fields, out);
    if (!s) return fail(place_after_array(r, std::move(s).error()));
    return r.end_array();
  }
  if (c < 0) return fail(r.peek_error(json::msg::kEofValue));
  return fail(json::unexpected(r, names.expected));
}

}  // namespace lantor::request
