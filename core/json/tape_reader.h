// Reading JSON text onto a tape: the one way a value is read whole. Each
// value is tokenized once by the Reader, its slots appended in document
// order, and its canonical text written as it goes; an object's members are
// put in name order when it closes, and a name it repeats is settled there:
// the member keeps the place of its first occurrence and the value of its
// last, as if the earlier values had never been written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/json/canonical.h"
#include "core/json/reader.h"
#include "core/json/tape.h"
#include "core/json/text_buffer.h"

namespace lantor::json {

// Reads the value at the reader's position (whitespace before it skipped)
// into `out`, with `depth` levels of arrays and objects already open around
// it, and leaves the reader just past it. The tape keeps the value's
// canonical text.
ReadStatus read_tape(Reader& reader, int depth, Tape& out);

// Appends values read from a Reader to a tape. read_tape() reads one; a
// caller that sets members aside assembles a container of them with begin(),
// name() and end(), reading each value with value().
class TapeReader {
 public:
  // Where the tape keeps its strings' bytes. A value read whole keeps a copy
  // of its own text, which holds every string written without escapes where
  // it stands, made once when the reading ends; only strings with escapes
  // are copied one by one. Members set aside from a longer text copy each
  // string, since the text between them may be long (an inline dataset).
  enum class Strings : std::uint8_t { InText, Copied };

  // Starts `tape` afresh, with room for a value read from `text_bytes` of
  // text.
  TapeReader(Reader& reader, Tape& tape, std::size_t text_bytes, Strings strings = Strings::InText);
  TapeReader(const TapeReader&) = delete;
  TapeReader& operator=(const TapeReader&) = delete;
  // Settles where the strings' bytes are (finish()) if that was not done.
  ~TapeReader();

  // Appends the value at the reader's position.
  ReadStatus value(int depth);
  // The same for a value read whole onto a fresh tape: the quick pass reads
  // the usual value (nothing out of range or too deep, no error) with a
  // pointer of its own instead of the reader's bookkeeping; at the first
  // thing it does not take, what it appended is forgotten and value() reads
  // the value from its start, so every failure is the reader's own.
  // Requires Strings::InText and nothing appended yet.
  ReadStatus whole_value(int depth);

  // A container whose members (each a name() and then a value()) or
  // elements the caller appends; end() closes it with their count. Repeated
  // names are kept as they come.
  std::size_t begin(Kind kind) {
    slots_.emplace_back(TapeSlot::make_head(kind, 0), 0);
    return slots_.size() - 1;
  }
  void name(std::string_view name);
  void end(std::size_t at, std::size_t count);

  // Puts the strings' bytes in the tape, and with `canonical` the canonical
  // text of the value read last. Nothing may be appended after it.
  void finish(bool canonical = false);

 private:
  // Where a member of an object being read is: its name (as string_slot
  // placed it), its name's slot, and its canonical text (name and colon
  // included).
  struct Member {
    std::uint64_t name_at;
    std::size_t name_size;
    std::size_t slot;
    std::size_t text_begin;
    std::size_t text_end;
  };
  // A string's place, until finish() settles the bytes: an offset in the
  // value's text, or with this flag an offset among the strings copied.
  static constexpr std::uint64_t kCopied = std::uint64_t{1} << 63;

  ReadStatus string_value();
  ReadStatus number_value();
  void put_number(const NumberSpelling& spelling, const Number& n);
  void put_uint(const char* text, std::size_t size, std::uint64_t u);
  // A member's name: its Member, slot and canonical text up to the colon.
  void start_member(std::size_t first_member, std::string_view name, bool escaped);

  // The quick pass: each reads the value (or the rest of it) at `p` and
  // returns the end of it, or null at what it leaves to the reader.
  const char* quick_value(const char* p, int depth);
  const char* quick_string(const char* p);
  // A number other than the small unsigned integers quick_value() takes.
  const char* quick_number(const char* p);
  // Literals, numbers, and whitespace before a value.
  const char* quick_other(const char* p, int depth);
  const char* quick_literal(const char* p, std::string_view word, Kind kind, bool truth);
  const char* quick_array(const char* p, int depth);
  const char* quick_object(const char* p, int depth);
  // Past the whitespace at `p`.
  const char* skip_ws(const char* p) const {
    // Every whitespace byte is at most a space: above it, nothing to skip.
    while (p < end_ && static_cast<unsigned char>(*p) <= ' ' &&
           (*p == ' ' || *p == '\n' || *p == '\t' || *p == '\r'))
      ++p;
    return p;
  }
  // A string or a member's name at `p` (its opening quote) that is not
  // printable ASCII alone: read as read_string_view reads it, `s` its text
  // and `escaped` whether it had escapes (and is decoded in decoded_).
  // Returns its end, or null where the reader would fail.
  const char* other_string_text(const char* p, std::string_view& s, bool& escaped);
  const char* other_string(const char* p);
  const char* other_name(const char* p, std::size_t first_member);
  ReadStatus literal(std::string_view word, Kind kind, bool truth);
  ReadStatus array(int depth);
  ReadStatus object(int depth);
  // The string's slot, its bytes kept as `strings_` says (a copy when
  // `escaped`, whose bytes are not the text's), and returns its place.
  std::uint64_t string_slot(std::string_view s, bool escaped);
  std::string_view string_at(std::uint64_t at, std::size_t size) const;
  void canonical_string(std::string_view s, bool escaped);
  void close(std::size_t at, std::size_t count);
  // Puts the members of the object at slot `at`, from members_[first] on,
  // in name order in the canonical text, settling repeated names.
  void order_members(std::size_t at, std::size_t first);
  void order_many(std::size_t at, std::size_t first);
  void settle_repeats(std::size_t at, const Member* members, std::size_t n);

  Reader& reader_;
  Tape& tape_;
  std::vector<TapeSlot>& slots_;
  Strings strings_;
  bool finished_ = false;
  // Where the value's text begins, for strings that stand in it, and where
  // the reader's text ends.
  const char* first_;
  const char* end_;
  std::string copied_;  // the strings copied one by one
  std::string canonical_;
  TextBuffer canon_;
  // The members of the objects being read, outermost first.
  std::vector<Member> members_;
  std::vector<NameEntry> order_;
  std::string reorder_;
  std::string decoded_;  // a string or name with escapes, decoded
};

}  // namespace lantor::json
