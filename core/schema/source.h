// Where typed reading takes its values from. The same readers (records,
// tagged choices, scalars) serve two sources:
//
// - the command text (TextValue): a value is read at the Reader's position,
//   token by token, in document order, and a failure is a json::ReadError
//   placed in the text, so that its message ends in " at line L column C";
// - a tape (json::Node): a value already read whole, as the strategy is, and
//   a failure is a schema::Error that names the tape slot it arose at.
//
// Each source gives the readers the same few primitives: what form a value
// takes, its members and its elements, and the errors for a value found
// where another was wanted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/base/error_kind.h"
#include "core/base/result.h"
#include "core/json/reader.h"
#include "core/json/tape.h"
#include "core/schema/describe.h"

namespace lantor::schema {

// A failure to read a tape's value as its type: the message, the value it
// arose at (for a member that is missing: the object that lacks it), and its
// kind. Its place in the tape is `at - root.slot()`.
struct Error {
  std::string message;
  const json::TapeSlot* at = nullptr;
  ErrorKind kind = ErrorKind::InvalidType;
  // What was wanted, for whatever tells it in other words than the message:
  // the name of the scalar type or record a value was not ("u32",
  // "StrategySpec"), and the variants an unknown variant's name is none of.
  std::string_view wanted = {};
  std::span<const Variant> variants = {};
};

// A value in the command text: the reader stands before it (whitespace may
// come first), with `depth` levels of arrays and objects open around it.
struct TextValue {
  json::Reader* reader;
  int depth;
};

template <class In>
struct SourceTraits;
template <>
struct SourceTraits<json::Node> {
  using Error = schema::Error;
};
template <>
struct SourceTraits<TextValue> {
  using Error = json::ReadError;
};

template <class In>
using ErrorOf = typename SourceTraits<In>::Error;
template <class In>
using StatusOf = Status<ErrorOf<In>>;
template <class In, class T>
using ResultOf = Result<T, ErrorOf<In>>;

// What a value's first token makes it, as far as choosing a form goes.
enum class Form { Object, Array, Other };

// What an array form holding more elements than there are fields is told.
enum class Overflow : std::uint8_t {
  // "invalid length {array length}, expected fewer elements in array"
  FewerElements,
  // "invalid length {elements}, expected {fields} elements in sequence"
  ElementsInSequence,
};

// ---- The tape --------------------------------------------------------------

inline Form form_of(json::Node v) {
  return v.is_object() ? Form::Object : v.is_array() ? Form::Array : Form::Other;
}
// Null, which an optional value may be in place of another.
inline bool is_null(json::Node v) { return v.is_null(); }
inline Status<Error> take_null(json::Node) { return Ok{}; }
// An error about `v`.
inline Error error_at(json::Node v, Fault fault) {
  return {std::move(fault.message), v.slot(), fault.kind, {}, fault.variants};
}
// The same for an error about `v` as a whole (a missing or repeated member,
// an array form of the wrong length).
inline Error error_about(json::Node v, Fault fault) { return error_at(v, std::move(fault)); }
// "invalid type: {v described}, expected {expected}".
inline Error unexpected(json::Node v, std::string_view expected) {
  return error_at(v, invalid_type(describe(v), expected));
}
// `e`, saying that a value of the type named `type` was wanted: a name that
// lives as long as the program, a scalar type's or a record's.
inline Error wanting(Error e, std::string_view type) {
  e.wanted = type;
  return e;
}

// The members of an object on a tape, walked in document order: next()
// moves to the following member, whose name() and value are then at hand;
// its value is read with read() or left with skip().
class NodeMembers {
 public:
  explicit NodeMembers(json::Node object) : at_(object.members().begin()), left_(object.size()) {}
  Status<Error> open() const { return Ok{}; }
  Result<bool, Error> next() {
    if (left_ == 0) return false;
    if (started_) ++at_;
    started_ = true;
    --left_;
    current_ = *at_;
    return true;
  }
  std::string_view name() const { return current_.name; }
  json::Node value() const { return current_.value; }
  Status<Error> skip() const { return Ok{}; }
  template <class Read>
  Status<Error> read(Read&& read) const {
    return read(current_.value);
  }
  // Ends the walk with the first failure, or none.
  Status<Error> close(Status<Error> walked) { return walked; }

 private:
  json::Members::iterator at_;
  json::MemberRef current_;
  std::size_t left_;
  bool started_ = false;
};

inline NodeMembers members_of(json::Node v) { return NodeMembers(v); }

// The elements of an array on a tape, or its last ones, handed out in turn.
class NodeElements {
 public:
  NodeElements(json::Node container, json::Elements elements)
      : container_(container), elements_(elements), at_(elements.begin()) {}
  Result<std::optional<json::Node>, Error> next() {
    if (taken_ == elements_.size()) return std::optional<json::Node>();
    ++taken_;
    const json::Node element = *at_;
    ++at_;
    return std::optional<json::Node>(element);
  }
  Error error(Fault fault) const { return error_about(container_, std::move(fault)); }
  // After `fields` elements were taken: none may remain.
  Status<Error> finish(Overflow overflow, std::size_t fields) const {
    const std::size_t n = elements_.size();
    if (n <= fields) return Ok{};
    if (overflow == Overflow::FewerElements) return fail(error(invalid_length(n, "fewer elements in array")));
    return fail(error(invalid_length(n, elements_in_sequence(fields))));
  }

 private:
  json::Node container_;
  json::Elements elements_;
  json::Elements::iterator at_;
  std::size_t taken_ = 0;
};

template <class OnElements>
Status<Error> visit_elements(json::Node v, OnElements&& on_elements) {
  NodeElements elements(v, v.elements());
  return on_elements(elements);
}

// ---- The command text ------------------------------------------------------

// Errors that cannot be placed when they are found (a missing or repeated
// member, an array form too short, a failure in the members a tagged choice
// set aside) are returned with this offset, and the innermost record around
// them places them once it has read what closes it: just past its closing
// brace or bracket when that comes next.
inline constexpr std::size_t kUnplaced = SIZE_MAX;

inline json::ReadError unplaced(Fault fault) {
  return {std::move(fault.message), kUnplaced, false, fault.kind};
}

// The offset of the value's first byte.
inline std::size_t start_of(TextValue v) {
  v.reader->skip_ws();
  return v.reader->offset();
}
inline Form form_of(TextValue v) {
  const int c = v.reader->peek_ws();
  return c == '{' ? Form::Object : c == '[' ? Form::Array : Form::Other;
}
inline bool is_null(TextValue v) { return v.reader->peek_ws() == 'n'; }
inline json::ReadStatus take_null(TextValue v) { return v.reader->read_literal("null"); }
// An error about the value just read: placed where the reader stands.
inline json::ReadError error_at(TextValue v, const Fault& fault) {
  return v.reader->error(fault.kind, fault.message);
}
inline json::ReadError error_about(TextValue, Fault fault) { return unplaced(std::move(fault)); }
// A failure in the text says what it wanted in its message alone.
inline json::ReadError wanting(json::ReadError e, std::string_view) { return e; }
// The value at the position was found where `expected` was wanted. Scalars
// are read (their own syntax errors win) and the error is placed past them;
// an array or object is described without being read, the error placed just
// before its bracket.
json::ReadError unexpected(TextValue v, std::string_view expected);
// The same where the first member's name of an object is due instead of a
// value: described alike, but only a breach of the object's grammar counts as
// one (ReadError::not_json).
json::ReadError unexpected_name(TextValue v, std::string_view expected);

// Places an unplaced error: just past the enclosing object's closing brace
// (or array's bracket) when that comes next, else where the reader stood
// when the error arose.
json::ReadError place_after_object(json::Reader& r, json::ReadError e);
json::ReadError place_after_array(json::Reader& r, json::ReadError e);

// The members of an object in the text, read as they come: the object is
// opened by open(), next() reads the following member's name, and read() or
// skip() its value; close() consumes the closing brace, or places what went
// wrong (see kUnplaced).
class TextMembers {
 public:
  explicit TextMembers(TextValue v) : reader_(*v.reader), depth_(v.depth + 1) {}
  json::ReadStatus open() { return reader_.open(depth_ - 1); }
  json::ReadResult<bool> next() { return reader_.next_key(first_, name_); }
  std::string_view name() const { return name_; }
  // Unknown members are only syntax-checked, at any depth.
  json::ReadStatus skip() const {
    LANTOR_TRY(reader_.colon());
    return reader_.skip_value();
  }
  template <class Read>
  json::ReadStatus read(Read&& read) const {
    LANTOR_TRY(reader_.colon());
    return read(TextValue{&reader_, depth_});
  }
  json::ReadStatus close(json::ReadStatus walked) {
    if (!walked.ok()) return fail(place_after_object(reader_, std::move(walked).error()));
    return reader_.end_object();
  }

 private:
  json::Reader& reader_;
  int depth_;  // the object's own level
  bool first_ = true;
  std::string name_;
};

inline TextMembers members_of(TextValue v) { return TextMembers(v); }

// The elements of an array in the text, handed out in turn; whatever
// follows the last one taken is for the closing bracket to judge.
class TextElements {
 public:
  TextElements(json::Reader& reader, int depth) : reader_(reader), depth_(depth) {}
  json::ReadResult<std::optional<TextValue>> next() {
    LANTOR_ASSIGN_OR_RETURN(const bool more, reader_.next_element(first_));
    if (!more) return std::optional<TextValue>();
    return std::optional<TextValue>(TextValue{&reader_, depth_});
  }
  json::ReadError error(Fault fault) const { return unplaced(std::move(fault)); }
  json::ReadStatus finish(Overflow, std::size_t) const { return Ok{}; }

 private:
  json::Reader& reader_;
  int depth_;
  bool first_ = true;
};

template <class OnElements>
json::ReadStatus visit_elements(TextValue v, OnElements&& on_elements) {
  json::Reader& r = *v.reader;
  LANTOR_TRY(r.open(v.depth));
  TextElements elements(r, v.depth + 1);
  json::ReadStatus s = on_elements(elements);
  if (!s.ok()) return fail(place_after_array(r, std::move(s).error()));
  return r.end_array();
}

}  // namespace lantor::schema
