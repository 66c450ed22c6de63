// A pull reader over one JSON text. Typed readers drive it token by token so
// that every error carries the exact text and the byte offset at which the
// reading gave up; " at line L column C" is only worked out when an error is
// reported (positioned()).
//
// Offsets follow two rules. An error raised on the byte the reader is looking
// at (peek_error) is placed just past that byte; an error raised after a
// token was consumed (error) is placed where the reader stands, which is just
// past that token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/result.h"
#include "core/json/value.h"

namespace lantor::json {

// Arrays and objects nest at most this many levels; opening one more fails.
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

// A failure: the message and the byte offset where the reader gave up.
struct ReadError {
  std::string message;
  std::size_t offset = 0;
  // Set when the failure breaks the JSON grammar itself (as skip_value checks
  // it), so that the text is not JSON and every reading of it fails. Errors
  // about what a valid text holds (its depth, number range, surrogates,
  // UTF-8, or what a typed reader wanted) leave it unset.
  bool not_json = false;
};

template <class T>
using ReadResult = Result<T, ReadError>;
using ReadStatus = Status<ReadError>;

// Takes canonical text in pieces, in order, as stream_canonical produces it.
class TextSink {
 public:
  virtual void write(std::string_view piece) = 0;

 protected:
  ~TextSink() = default;
};

// The line (1 + line feeds before `offset`) and column (bytes since the last
// line feed before `offset`, or since the start).
struct TextPosition {
  std::size_t line;
  std::size_t column;
};
TextPosition position_of(std::string_view text, std::size_t offset);

// "{message} at line L column C".
std::string positioned(std::string_view text, const ReadError& error);

// Scratch storage of read_object, per nesting level: the members of the
// object being read there, so that an object is built once its size is known
// instead of growing member by member, and a table of their names for
// finding repeats in wide objects. One set per thread is lent to the reader
// that asks first and kept from command to command, so that reading a small
// request allocates nothing but the tree itself.
struct ObjectScratch {
  std::vector<MemberList> members;
  // The same for read_array: per level, the elements read so far, so that an
  // array is allocated once at its final size instead of growing.
  std::vector<Array> elements;
  std::vector<std::uint32_t> table;
  std::uint64_t generation = 0;  // counts rebuilds of `table`
  bool lent = false;
};

class QuickTapeReader;

class Reader {
 public:
  explicit Reader(std::string_view text);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  std::string_view text() const { return text_; }
  std::size_t offset() const { return pos_; }
  bool at_end() const { return pos_ >= text_.size(); }

  // The byte at the position, or -1 at the end. Consumes nothing.
  int peek() const {
    return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : -1;
  }
  // Skips whitespace, then peeks.
  int peek_ws() {
    skip_ws();
    return peek();
  }
  void skip_ws() {
    // Usually there is no whitespace at all: check one byte before looping.
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c != ' ' && c != '\n' && c != '\t' && c != '\r') return;
      ++pos_;
    }
  }
  void bump() { ++pos_; }

  // An error placed where the reader stands.
  ReadError error(std::string_view message) const { return {std::string(message), pos_}; }
  // An error about the byte at the position: placed just past it (at the end
  // of the text when there is none).
  ReadError peek_error(std::string_view message) const {
    return {std::string(message), pos_ < text_.size() ? pos_ + 1 : text_.size()};
  }

  // The same two placements for a breach of the grammar (ReadError::not_json).
  ReadError syntax_error(std::string_view message) const {
    ReadError e = error(message);
    e.not_json = true;
    return e;
  }
  ReadError syntax_peek_error(std::string_view message) const {
    ReadError e = peek_error(message);
    e.not_json = true;
    return e;
  }

  // The rest of a literal whose first byte was consumed ("ull" of null).
  ReadStatus read_ident(std::string_view rest);

  // Strings: the position is on the opening quote. Consumes through the
  // closing quote and appends the decoded text to `out` (cleared first).
  ReadStatus read_string(std::string& out);
  // The same, without a copy when it can: the text is a view of the input
  // when the string holds no escapes, else of `scratch`, which then holds it
  // decoded.
  ReadResult<std::string_view> read_string_view(std::string& scratch);
  // Numbers: the position is on '-' or a digit.
  ReadResult<Value> read_number();
  // A whole value, with `depth` levels of arrays and objects already open
  // around it. Leading whitespace is skipped.
  ReadResult<Value> read_value(int depth);
  // A whole value checked for syntax only: no nesting limit (an explicit
  // stack, never recursion), no number range or surrogate checks.
  ReadStatus skip_value();
  // A whole value, accepted and rejected exactly as read_value does, whose
  // canonical text is appended to `out` instead of building a tree.
  ReadStatus read_canonical(int depth, std::string& out);
  // The same, with the text handed to `sink` in pieces of some hundreds of
  // kilobytes (an array element by element) instead of kept whole. On a
  // failure the sink has had part of the text.
  ReadStatus stream_canonical(int depth, TextSink& sink);
  // After the value: only whitespace may remain.
  ReadStatus finish();

  // Opening a container at level `depth + 1`: fails past the bracket when
  // that is beyond the limit. The position is on the bracket; it is consumed.
  ReadStatus open(int depth);

  // Walking an object whose '{' has been consumed. Returns false at the
  // closing brace (not consumed); otherwise reads the next member's name
  // into `name`. `first` tracks whether a comma is due.
  ReadResult<bool> next_key(bool& first, std::string& name);
  // The same with the name as read_string_view gives it.
  ReadResult<bool> next_key_view(bool& first, std::string& scratch, std::string_view& name);
  // The colon between a member's name and its value.
  ReadStatus colon();
  // Walking an array whose '[' has been consumed. Returns false at the
  // closing bracket (not consumed); otherwise the position is on the next
  // element's first byte.
  ReadResult<bool> next_element(bool& first);
  // After an object's members, or an array's elements: consumes the closing
  // brace or bracket, or fails as the text demands.
  ReadStatus end_object();
  ReadStatus end_array();

  // The value at the position was found where `expected` was wanted. Scalars
  // are read (their own syntax errors win) and the error is placed past
  // them; an array or object is described without being read, the error
  // placed just before its bracket.
  ReadError unexpected(std::string_view expected);

 private:
  // The quick pass of read_tape over common, well-formed text reads the
  // bytes directly and moves the position past what it read.
  friend class QuickTapeReader;

  ReadStatus read_escape(std::string& out);
  // Moves over the bytes of a string up to the next quote, backslash,
  // control or the end, checking that they are UTF-8.
  ReadStatus scan_run();
  // Before a member's name: true with the position on its opening quote,
  // false at the object's closing brace.
  ReadResult<bool> key_start(bool& first);
  ReadResult<std::uint16_t> read_hex4();
  ReadStatus skip_string();
  ReadStatus skip_number();
  // Scans a number's syntax from the position; sets `integral` when it has
  // neither fraction nor exponent.
  ReadStatus scan_number(bool& integral);
  // The common shapes of numbers in one pass: integers of up to 19 digits
  // and decimals without exponent. False leaves the position unchanged.
  bool read_plain_number(Value& out);
  ReadResult<Value> read_array(int depth);
  ReadResult<Value> read_object(int depth);
  // The elements of an array whose '[' was consumed, then its ']'. With a
  // sink, what `out` holds is passed on whenever a piece's worth gathered.
  ReadStatus canonical_array(int depth, std::string& out, TextSink* sink = nullptr);
  bool canonical_plain_number(std::string& out);
  // The length of the number at the position when it is spelled exactly as
  // its canonical text, else 0.
  std::size_t canonical_spelling_length() const;
  struct CanonLevel;
  struct CanonMember;
  // Works out and keeps the layout of the `count` members just read.
  void plan_layout(CanonLevel& level, std::size_t count);
  ReadStatus canonical_object(int depth, std::string& out);
  ReadStatus canonical_member_value(int depth, CanonLevel& level, CanonMember& m);

  std::string_view text_;
  std::size_t pos_ = 0;
  // The thread's scratch when it was free, else `own_scratch_`.
  ObjectScratch* scratch_;
  ObjectScratch own_scratch_;
  // The deepest level whose scratch this reader used; only those levels
  // need emptying when it is done.
  std::size_t deepest_ = 0;

  // Scratch of read_canonical, kept across objects for the same reason: per
  // level, the names read and where their values' canonical texts lie: in
  // the input itself (a number already spelled canonically) or in the
  // level's `values`.
  struct CanonMember {
    std::string name;
    std::size_t begin = 0;
    std::size_t size = 0;
    bool in_text = false;
  };
  // A member's name as the input spells it, `"name":` (after a comma but for
  // the first member), when that spelling is the only one without escapes;
  // empty otherwise. Up to eight bytes of it are also kept as a word and a
  // mask, compared with the input in one go.
  struct CanonKey {
    std::string text;
    std::uint64_t word = 0;
    std::uint64_t mask = 0;
    // Whether `text` (never when empty) is at `pos` in `input`.
    bool matches(std::string_view input, std::size_t pos) const;
  };
  // What an object of some list of names turns into: which members are
  // written, in which order, each after its name already written as JSON
  // text with the colon. Large datasets repeat the same names object after
  // object; the last layout per level is kept and reused while they match.
  struct CanonLayout {
    std::vector<std::string> names;  // as read, in document order
    std::vector<CanonKey> keys;
    std::vector<std::pair<std::size_t, std::string>> writes;
    bool valid = false;
  };
  struct CanonLevel {
    std::vector<CanonMember> members;
    CanonLayout layout;
    std::string values;
  };
  std::vector<CanonLevel> canon_levels_;
  std::vector<std::size_t> canon_order_;
  std::string canon_string_;
};

}  // namespace lantor::json
