// read_tape: the quick pass first, and the exact reader when it gives up.
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/base/short_text.h"
#include "core/json/quick_tape_reader.h"
#include "core/json/tape.h"
#include "core/json/tape_builder.h"

namespace lantor::json {
namespace {

// Past this many members, an object is checked for repeated names once it
// is read, by sorting, instead of name by name as it is read.
constexpr std::size_t kScanLimit = 16;

// Reads into a tape with the same reader calls, in the same order, as
// Reader::read_value makes, so that every text fails or succeeds alike and
// with the same error. Repeated names are only noted: the tape cannot give a
// repeat the first one's place, so such a value is read again as a Value.
class TapeReader {
 public:
  TapeReader(Reader& reader, Tape& tape) : reader_(reader), out_(tape) {}

  ReadStatus value(int depth) {
    Reader& r = reader_;
    int c = r.peek_ws();
    switch (c) {
      case -1: return fail(r.syntax_peek_error(msg::kEofValue));
      case 'n':
        r.bump();
        LANTOR_TRY(r.read_ident("ull"));
        out_.scalar(Value());
        return Ok{};
      case 't':
        r.bump();
        LANTOR_TRY(r.read_ident("rue"));
        out_.scalar(Value::boolean(true));
        return Ok{};
      case 'f':
        r.bump();
        LANTOR_TRY(r.read_ident("alse"));
        out_.scalar(Value::boolean(false));
        return Ok{};
      case '"': {
        ReadResult<std::string_view> s = r.read_string_view(text_);
        LANTOR_TRY(s);
        out_.string(*s, unescaped(*s));
        return Ok{};
      }
      case '[':
        LANTOR_TRY(r.open(depth));
        return array(depth + 1);
      case '{':
        LANTOR_TRY(r.open(depth));
        return object(depth + 1);
      default:
        if (c == '-' || (c >= '0' && c <= '9')) {
          ReadResult<Value> number = r.read_number();
          LANTOR_TRY(number);
          out_.scalar(*number);
          return Ok{};
        }
        return fail(r.syntax_peek_error(msg::kExpectedValue));
    }
  }

  bool repeated_names() const { return repeated_; }

 private:
  // A string read_string_view left in the input was spelled without escapes.
  bool unescaped(std::string_view s) const { return s.data() != text_.data(); }

  ReadStatus array(int depth) {
    const std::size_t at = out_.open(Kind::Array);
    std::size_t count = 0;
    bool first = true;
    for (;;) {
      ReadResult<bool> more = reader_.next_element(first);
      LANTOR_TRY(more);
      if (!*more) break;
      LANTOR_TRY(value(depth));
      ++count;
    }
    LANTOR_TRY(reader_.end_array());
    out_.close(at, count);
    return Ok{};
  }

  ReadStatus object(int depth) {
    Reader& r = reader_;
    const std::size_t at = out_.open(Kind::Object);
    const std::size_t names_from = names_.size();
    bool first = true;
    for (;;) {
      std::string_view name_text;
      ReadResult<bool> more = r.next_key_view(first, text_, name_text);
      LANTOR_TRY(more);
      if (!*more) break;
      if (r.peek() == ':')
        r.bump();
      else
        LANTOR_TRY(r.colon());
      const std::size_t name = out_.size();
      out_.string(name_text, unescaped(name_text));
      const std::size_t count = names_.size() - names_from;
      if (!repeated_ && count < kScanLimit) {
        for (std::size_t i = names_from; i < names_.size(); ++i)
          if (same_text(out_.name_at(names_[i]), name_text)) repeated_ = true;
      }
      names_.push_back(name);
      LANTOR_TRY(value(depth));
    }
    LANTOR_TRY(r.end_object());
    const std::size_t count = names_.size() - names_from;
    if (!repeated_ && count > kScanLimit) {
      std::vector<std::string_view> sorted;
      sorted.reserve(count);
      for (std::size_t i = names_from; i < names_.size(); ++i) sorted.push_back(out_.name_at(names_[i]));
      std::sort(sorted.begin(), sorted.end());
      repeated_ = std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end();
    }
    names_.resize(names_from);
    out_.close(at, count);
    return Ok{};
  }

  Reader& reader_;
  TapeBuilder out_;
  // The slots of the names of the objects being read, outermost first.
  std::vector<std::size_t> names_;
  std::string text_;  // a string or name with escapes, decoded
  bool repeated_ = false;
};

}  // namespace

ReadStatus read_tape(Reader& reader, int depth, Tape& out) {
  reader.skip_ws();
  const std::size_t begin = reader.offset();
  TapeBuilder(out).reserve_for(reader.text().size() - begin);
  if (read_tape_quickly(reader, depth, out)) return Ok{};
  TapeReader tape_reader(reader, out);
  LANTOR_TRY(tape_reader.value(depth));
  if (!tape_reader.repeated_names()) return Ok{};
  // The same text read as a Value, which settles repeats; it read cleanly
  // once, so it does again.
  Reader again(reader.text().substr(begin, reader.offset() - begin));
  ReadResult<Value> v = again.read_value(depth);
  if (!v) throw std::logic_error("a value read into a tape failed to read again");
  out = Tape::from_value(*v);
  return Ok{};
}

}  // namespace lantor::json
