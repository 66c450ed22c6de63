// Reading JSON text onto a tape: the one way a value is read whole. Each
// value is tokenized once by the Reader, its slots appended in document
// order, and its canonical text written as it goes; an object's members are
// put in name order when it closes, and a name it repeats is settled there:
// the member keeps the place of its first occurrence and the value of its
// last, as if the earlier values had never been written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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
  // Starts `tape` afresh, with room for a value read from `text_bytes` of
  // text.
  TapeReader(Reader& reader, Tape& tape, std::size_t text_bytes);
  TapeReader(const TapeReader&) = delete;
  TapeReader& operator=(const TapeReader&) = delete;
  // Trims the tape's buffers to what was written.
  ~TapeReader();

  // Appends the value at the reader's position.
  ReadStatus value(int depth);

  // A container whose members (each a name() and then a value()) or
  // elements the caller appends; end() closes it with their count. Repeated
  // names are kept as they come.
  std::size_t begin(Kind kind);
  void name(std::string_view name);
  void end(std::size_t at, std::size_t count);

  // Moves the canonical text of the value read last into the tape.
  void keep_canonical_text();

 private:
  // Where a member of an object being read is: its name in the tape's bytes,
  // its name's slot, and its canonical text (name and colon included).
  struct Member {
    std::size_t name_offset;
    std::size_t name_size;
    std::size_t slot;
    std::size_t text_begin;
    std::size_t text_end;
  };
  // A member's name and its place among the object's members, for sorting.
  struct Entry {
    std::string_view name;
    std::size_t index;
  };

  ReadStatus string_value();
  ReadStatus number_value();
  ReadStatus literal(std::string_view word, Kind kind, bool truth);
  ReadStatus array(int depth);
  ReadStatus object(int depth);
  // The string's slot and bytes, and its canonical text.
  void string_slot(std::string_view s);
  void canonical_string(std::string_view s, bool escaped);
  void close(std::size_t at, std::size_t count);
  // Puts the members of the object at slot `at`, from members_[first] on,
  // in name order in the canonical text, settling repeated names.
  void order_members(std::size_t at, std::size_t first);
  void settle_repeats(std::size_t at, const Member* members, std::size_t n);

  Reader& reader_;
  std::vector<TapeSlot>& slots_;
  TextBuffer bytes_;
  std::string canonical_;
  TextBuffer canon_;
  // The members of the objects being read, outermost first.
  std::vector<Member> members_;
  std::vector<Entry> order_;
  std::string reorder_;
  std::string decoded_;  // a string or name with escapes, decoded
  Tape& tape_;
};

}  // namespace lantor::json
