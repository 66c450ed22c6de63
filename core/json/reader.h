// The tokenizer over one JSON text. Everything that reads JSON drives it
// token by token (the tape reader, the dataset streamer, the schema readers
// of the command text), so that every error carries the exact text and the
// byte offset at which the reading gave up; " at line L column C" is only
// worked out when an error is reported (positioned()).
//
// Offsets follow two rules. An error raised on the byte the reader is looking
// at (peek_error) is placed just past that byte; an error raised after a
// token was consumed (error) is placed where the reader stands, which is just
// past that token.
//
// The separators and the common strings are read inline, with whatever is
// unusual (whitespace, errors, escapes, non-ASCII text) out of line.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/error_kind.h"
#include "core/base/result.h"
#include "core/json/number.h"
#include "core/json/word_scan.h"

namespace lantor::json {

// Arrays and objects nest at most this many levels, counted from the
// outermost value of the text; opening one more fails. The one limit of
// nesting: whatever reads a value the reader produced (a tape) counts its
// levels the same way and can never find one deeper.
inline constexpr int kMaxDepth = 127;

// The texts of the reader itself.
namespace msg {
inline constexpr std::string_view kEofList = "EOF while parsing a list";
inline constexpr std::string_view kEofObject = "EOF while parsing an object";
inline constexpr std::string_view kEofString = "EOF while parsing a string";
inline constexpr std::string_view kEofValue = "EOF while parsing a value";
inline constexpr std::string_view kExpectedColon = "expected `:`";
inline constexpr std::string_view kExpectedListCommaOrEnd = "expected `,` or `]`";
inline constexpr std::string_view kExpectedObjectCommaOrEnd = "expected `,` or `}`";
inline constexpr std::string_view kExpectedIdent = "expected ident";
inline constexpr std::string_view kExpectedValue = "expected value";
inline constexpr std::string_view kExpectedQuote = "expected `\"`";
inline constexpr std::string_view kInvalidEscape = "invalid escape";
inline constexpr std::string_view kInvalidNumber = "invalid number";
inline constexpr std::string_view kNumberOutOfRange = "number out of range";
inline constexpr std::string_view kInvalidCodePoint = "invalid unicode code point";
inline constexpr std::string_view kControlChar =
    "control character (\\u0000-\\u001F) found while parsing a string";
inline constexpr std::string_view kKeyMustBeString = "key must be a string";
inline constexpr std::string_view kLoneSurrogate = "lone leading surrogate in hex escape";
inline constexpr std::string_view kEndOfHexEscape = "unexpected end of hex escape";
inline constexpr std::string_view kTrailingComma = "trailing comma";
inline constexpr std::string_view kTrailingCharacters = "trailing characters";
inline constexpr std::string_view kRecursionLimit = "recursion limit exceeded";
}  // namespace msg

// No offset: see ReadError::value_at.
inline constexpr std::size_t kNoOffset = SIZE_MAX;

// A failure: its kind, the message and the byte offset where the reader gave
// up.
struct ReadError {
  std::string message;
  std::size_t offset = 0;
  // Set when the failure breaks the JSON grammar itself (as skip_value checks
  // it), so that the text is not JSON and every reading of it fails. Errors
  // about what a valid text holds (its depth, number range, surrogates,
  // UTF-8, or what a typed reader wanted) leave it unset.
  bool not_json = false;
  ErrorKind kind = ErrorKind::Syntax;
  // Where the value the failure is about starts, when that is not where the
  // offset points: a failure in the members a tagged choice set aside is
  // placed after the choice (or after the record around it), and is about
  // the choice.
  std::size_t value_at = kNoOffset;
};
template <class T>
using ReadResult = Result<T, ReadError>;
using ReadStatus = Status<ReadError>;

// Takes canonical text in pieces, in order, as the dataset streamer
// produces it.
class TextSink {
 public:
  virtual void write(std::string_view piece) = 0;

 protected:
  ~TextSink() = default;
};

// The end of the run of printable ASCII at `p` inside a string: the first
// quote, backslash, control or non-ASCII byte, or `end`. Eight bytes at a
// time while they last.
inline const char* plain_run_end(const char* p, const char* end) {
  return word_scan::run_end<word_scan::read_stops>(
      p, end, [](unsigned char c) { return c == '"' || c == '\\' || c < 0x20 || c >= 0x80; });
}

// "{message} at line L column C": L is the line of the error's offset (1 +
// the line feeds before it), C the bytes between that line's start and the
// offset. As the offset is just past the byte the reader looked at last, C is
// that byte's 1-based column (0 at the text's start or after a line feed).
std::string positioned(std::string_view text, const ReadError& error);

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  std::string_view text() const { return text_; }
  std::size_t offset() const { return pos_; }
  bool at_end() const { return pos_ >= text_.size(); }

  // The byte at the position, or -1 at the end. Consumes nothing.
  int peek() const { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : -1; }
  // Skips whitespace, then peeks.
  int peek_ws() {
    // Every whitespace byte is at most a space: above it, nothing to skip.
    if (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) > ' ')
      return static_cast<unsigned char>(text_[pos_]);
    skip_ws();
    return peek();
  }
  void skip_ws() {
    while (pos_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[pos_]);
      if (c > ' ' || (c != ' ' && c != '\n' && c != '\t' && c != '\r')) return;
      ++pos_;
    }
  }
  void bump() { ++pos_; }
  // Moves past `n` bytes the caller has looked at.
  void advance(std::size_t n) { pos_ += n; }

  // An error placed where the reader stands.
  ReadError error(ErrorKind kind, std::string_view message) const {
    return {std::string(message), pos_, false, kind};
  }
  // An error about the byte at the position: placed just past it (at the end
  // of the text when there is none).
  ReadError peek_error(ErrorKind kind, std::string_view message) const {
    return {std::string(message), pos_ < text_.size() ? pos_ + 1 : text_.size(), false, kind};
  }
  // The same two placements for a breach of the grammar (ReadError::not_json).
  ReadError syntax_error(std::string_view message) const {
    ReadError e = error(ErrorKind::Syntax, message);
    e.not_json = true;
    return e;
  }
  ReadError syntax_peek_error(std::string_view message) const {
    ReadError e = peek_error(ErrorKind::Syntax, message);
    e.not_json = true;
    return e;
  }

  // A literal: the position is on its first byte ('t' of true); consumes the
  // whole word or fails.
  ReadStatus read_literal(std::string_view word) {
    if (text_.size() - pos_ >= word.size() && text_.compare(pos_, word.size(), word) == 0) {
      pos_ += word.size();
      return Ok{};
    }
    bump();
    return read_ident(word.substr(1));
  }
  // The rest of a literal whose first byte was consumed ("ull" of null).
  ReadStatus read_ident(std::string_view rest);

  // Strings: the position is on the opening quote. Consumes through the
  // closing quote and appends the decoded text to `out` (cleared first).
  ReadStatus read_string(std::string& out);
  // The same, without a copy when it can: the text is a view of the input
  // when the string holds no escapes, else of `scratch`, which then holds it
  // decoded. So the string had escapes exactly when the view's data is
  // scratch.data(); without them it holds nothing JSON text must escape.
  ReadResult<std::string_view> read_string_view(std::string& scratch);

  // Numbers: the position is on '-' or a digit. scan_number checks the
  // literal's syntax and moves past it; read_number also takes its value,
  // failing past it when the value is out of range.
  ReadStatus scan_number(NumberSpelling& spelling) {
    const char* const base = text_.data();
    const NumberScan scan = scan_number_text(base + pos_, base + text_.size(), spelling);
    pos_ = static_cast<std::size_t>(scan.at - base);
    if (scan.syntax == NumberSyntax::Ok) return Ok{};
    return fail(number_error(scan.syntax));
  }
  ReadStatus read_number(NumberSpelling& spelling, Number& value) {
    LANTOR_TRY(scan_number(spelling));
    if (!number_value(spelling, value))
      return fail(error(ErrorKind::NumberOutOfRange, msg::kNumberOutOfRange));
    return Ok{};
  }

  // A whole value checked for syntax only: no nesting limit (an explicit
  // stack, never recursion), no number range or surrogate checks.
  ReadStatus skip_value();
  // After the value: only whitespace may remain.
  ReadStatus finish();

  // Opening a container at level `depth + 1`: fails past the bracket when
  // that is beyond the limit. The position is on the bracket; it is consumed.
  ReadStatus open(int depth) {
    if (depth + 1 > kMaxDepth) return fail(peek_error(ErrorKind::TooDeep, msg::kRecursionLimit));
    bump();
    return Ok{};
  }

  // Walking an object whose '{' has been consumed: before each member's
  // name, true with the position on its opening quote, false at the closing
  // brace (not consumed). `first` tracks whether a comma is due.
  ReadResult<bool> key_start(bool& first) {
    int c = peek_ws();
    if (c == '"' && first) {
      first = false;
      return true;
    }
    if (c == ',' && !first) {
      bump();
      c = peek_ws();
      if (c == '"') return true;
      return fail(key_after_comma_error(c));
    }
    if (c == '}') return false;
    return fail(key_start_error(c, first));
  }
  // The same, reading the member's name into `name`.
  ReadResult<bool> next_key(bool& first, std::string& name);
  // The same with the name as read_string_view gives it.
  ReadResult<bool> next_key_view(bool& first, std::string& scratch, std::string_view& name);
  // The colon between a member's name and its value.
  ReadStatus colon() {
    // It usually follows the name at once.
    if (pos_ < text_.size() && text_[pos_] == ':') {
      bump();
      return Ok{};
    }
    return colon_after_space();
  }
  // Walking an array whose '[' has been consumed. Returns false at the
  // closing bracket (not consumed); otherwise the position is on the next
  // element's first byte.
  ReadResult<bool> next_element(bool& first) {
    int c = peek_ws();
    if (c == ']') return false;
    if (first && c >= 0) {
      first = false;
      return true;
    }
    if (c == ',' && !first) {
      bump();
      c = peek_ws();
      if (c != ']' && c >= 0) return true;
      return fail(element_after_comma_error(c));
    }
    return fail(next_element_error(c));
  }
  // After an object's members, or an array's elements: consumes the closing
  // brace or bracket, or fails as the text demands.
  ReadStatus end_object() {
    if (peek_ws() == '}') {
      bump();
      return Ok{};
    }
    return fail(end_object_error());
  }
  ReadStatus end_array() {
    if (peek_ws() == ']') {
      bump();
      return Ok{};
    }
    return fail(end_array_error());
  }

 private:
  ReadResult<std::string_view> read_string_view_slowly(std::string& scratch);
  // The syntax error of a literal that did not scan, placed where it stopped.
  ReadError number_error(NumberSyntax syntax) const;
  ReadStatus read_escape(std::string& out);
  // Moves over the bytes of a string up to the next quote, backslash,
  // control or the end, checking that they are UTF-8.
  ReadStatus scan_run();
  ReadResult<std::uint16_t> read_hex4();
  ReadStatus skip_string();
  // The errors of the separators, where the inline paths above gave up on
  // the byte `c` at the position (-1 at the end).
  ReadError key_start_error(int c, bool first) const;
  ReadError key_after_comma_error(int c) const;
  ReadStatus colon_after_space();
  ReadError next_element_error(int c) const;
  ReadError element_after_comma_error(int c) const;
  ReadError end_object_error() const;
  ReadError end_array_error();

  std::string_view text_;
  std::size_t pos_ = 0;
};

inline ReadResult<std::string_view> Reader::read_string_view(std::string& scratch) {
  const char* const base = text_.data();
  const char* const end = base + text_.size();
  const char* const p = plain_run_end(base + pos_ + 1, end);
  if (p < end && *p == '"') {
    const std::string_view s(base + pos_ + 1, static_cast<std::size_t>(p - base) - pos_ - 1);
    pos_ = static_cast<std::size_t>(p - base) + 1;
    return s;
  }
  return read_string_view_slowly(scratch);
}

}  // namespace lantor::json
