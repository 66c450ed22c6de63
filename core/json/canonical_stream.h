// Reading a value straight into its canonical text, without putting it on a
// tape. Used for large inline datasets, whose only uses are their canonical
// text and a check that they are arrays: a tape of a million small objects
// would cost several times the text in memory and much of the reading time.
//
// Acceptance, error texts and error offsets are those of read_tape: the walk
// mirrors the tape reader's call for call, through the same Reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/json/reader.h"
#include "core/json/text_buffer.h"

namespace lantor::json {

class CanonicalStreamer {
 public:
  explicit CanonicalStreamer(Reader& reader) : reader_(reader) {}

  // Reads the value at the reader's position, with `depth` levels open around
  // it, and appends its canonical text to `out`.
  ReadStatus read(int depth, std::string& out);
  // The same, with the text handed to `sink` in pieces of some hundreds of
  // kilobytes (an array element by element) instead of kept whole. On a
  // failure the sink has had part of the text.
  ReadStatus stream(int depth, TextSink& sink);

 private:
  struct Level;
  struct Member;
  // The value at the reader's position, its text added to `out`.
  ReadStatus value(int depth, TextBuffer& out);
  // The elements of an array whose '[' was consumed, then its ']'. With a
  // sink, what `out` holds is passed on whenever a piece's worth gathered.
  ReadStatus array(int depth, TextBuffer& out, TextSink* sink = nullptr);
  ReadStatus object(int depth, TextBuffer& out);
  ReadStatus member_value(int depth, Level& level, Member& m);
  // Takes the members from `from` on while they follow the kept layout with
  // numbers spelled canonically as values; returns the count taken up to.
  std::size_t plain_members(Level& level, std::size_t from);
  // Works out and keeps the layout of the `count` members just read.
  void plan_layout(Level& level, std::size_t count);

  Reader& reader_;

  // Scratch kept across objects: per level, the names read and where their
  // values' canonical texts lie: in the input itself (a number already
  // spelled canonically) or in the level's `values`.
  struct Member {
    std::string name;
    std::size_t begin = 0;
    std::size_t size = 0;
    bool in_text = false;
  };
  // A member's name as the input spells it, `"name":` (after a comma but for
  // the first member), when that spelling is the only one without escapes;
  // empty otherwise. Up to eight bytes of it are also kept as a word and a
  // mask, compared with the input in one go.
  struct Key {
    std::string text;
    std::uint64_t word = 0;
    std::uint64_t mask = 0;
    // Whether `text` (never when empty) is at `p`, before `end`.
    bool matches(const char* p, const char* end) const {
      const auto left = static_cast<std::size_t>(end - p);
      if (mask != 0 && left >= 8) {
        // One masked comparison of a word for the usual short names.
        std::uint64_t got;
        std::memcpy(&got, p, 8);
        return ((got ^ word) & mask) == 0;
      }
      return !text.empty() && left >= text.size() && std::memcmp(p, text.data(), text.size()) == 0;
    }
  };
  // What an object of some list of names turns into: which members are
  // written, in which order, each after its name already written as JSON
  // text with the colon. Large datasets repeat the same names object after
  // object; the last layout per level is kept and reused while they match.
  struct Layout {
    std::vector<std::string> names;  // as read, in document order
    std::vector<Key> keys;
    std::vector<std::pair<std::size_t, std::string>> writes;
    bool valid = false;
  };
  struct Level {
    std::vector<Member> members;
    Layout layout;
    std::string values;
  };
  std::vector<Level> levels_;
  std::vector<std::size_t> order_;
  std::string decoded_;
};

}  // namespace lantor::json
