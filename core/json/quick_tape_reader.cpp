#include "core/json/quick_tape_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/short_text.h"
#include "core/json/canonical.h"
#include "core/json/tape_builder.h"
#include "core/json/word_scan.h"

namespace lantor::json {
namespace {

// Objects up to this many members are put in name order by insertion.
constexpr std::size_t kInsertionLimit = 16;

// Text written at the end of a string whose storage is grown ahead, so that
// the many small pieces of a document cost no library call each.
class TextOut {
 public:
  explicit TextOut(std::string& text) : text_(text) { text_.resize(text_.capacity()); }
  // Trims the string to what was written.
  void finish() { text_.resize(used_); }

  void put(char c) {
    room(1);
    text_[used_++] = c;
  }
  void put(std::string_view s) {
    room(s.size());
    copy_text(text_.data() + used_, s.data(), s.size());
    used_ += s.size();
  }
  // `"s"`, and `"s":` for a name.
  void quoted(std::string_view s, bool name) {
    room(s.size() + 3);
    char* d = text_.data() + used_;
    d[0] = '"';
    copy_text(d + 1, s.data(), s.size());
    d[s.size() + 1] = '"';
    d[s.size() + 2] = ':';
    used_ += s.size() + (name ? 3 : 2);
  }
  std::size_t size() const { return used_; }
  char* at(std::size_t offset) { return text_.data() + offset; }
  // The raw string, for the library's formatting calls; give it back with
  // resume() once they have appended.
  std::string& suspend() {
    text_.resize(used_);
    return text_;
  }
  void resume() {
    used_ = text_.size();
    text_.resize(text_.capacity());
  }

 private:
  void room(std::size_t n) {
    if (text_.size() - used_ >= n) return;
    text_.resize(std::max({text_.size() * 2, used_ + n, std::size_t{256}}));
  }

  std::string& text_;
  std::size_t used_ = 0;
};

}  // namespace

// Reads as read_tape_quickly says. It writes the canonical text as it goes:
// a value's text goes to the end of `canon_`, and an object's members, once
// all are written, are put in name order there.
class QuickTapeReader {
 public:
  QuickTapeReader(Reader& reader, Tape& tape)
      : reader_(reader), tape_(tape), out_(tape), canon_(reserved(tape.canonical_, reader)),
        p_(reader.text_.data() + reader.pos_), first_(p_),
        end_(reader.text_.data() + reader.text_.size()) {}

  // Reads the value and moves the reader past it, or gives up and leaves
  // the reader where it was.
  bool read(int depth) {
    const std::size_t start = reader_.pos_;
    const bool read = value(depth);
    canon_.finish();
    if (!read) {
      // Numbers were read through the reader, which moved it.
      reader_.pos_ = start;
      tape_.canonical_.clear();
      return false;
    }
    reader_.pos_ = static_cast<std::size_t>(p_ - reader_.text_.data());
    tape_.has_canonical_ = true;
    // Strings and names are read without escapes, so the value's own text
    // holds their bytes where the slots say.
    out_.set_bytes(std::string_view(first_, static_cast<std::size_t>(p_ - first_)));
    return true;
  }

 private:
  void skip_ws() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\t' || *p_ == '\r')) ++p_;
  }
  // The next byte after whitespace, or 0 at the end (never a byte that
  // starts anything accepted here).
  char next() {
    skip_ws();
    return p_ < end_ ? *p_ : '\0';
  }

  // A string's bytes from just past its opening quote, through its closing
  // quote; only printable ASCII without a backslash.
  bool string(std::string_view& out) {
    const char* start = p_;
    for (;;) {
      if (end_ - p_ >= 8 && word_scan::read_stops(word_scan::load(p_)) == 0) {
        p_ += 8;
        continue;
      }
      if (p_ == end_) return false;
      const unsigned char c = static_cast<unsigned char>(*p_);
      if (c == '"') break;
      if (c < 0x20 || c >= 0x80 || c == '\\') return false;
      ++p_;
    }
    out = std::string_view(start, static_cast<std::size_t>(p_ - start));
    ++p_;
    return true;
  }

  // A string's slot; its bytes are in the value's text at the same place.
  void string_slot(std::string_view s) {
    out_.string_at(static_cast<std::size_t>(s.data() - first_), s.size(), true);
  }

  bool literal(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() ||
        std::memcmp(p_, word.data(), word.size()) != 0)
      return false;
    p_ += word.size();
    return true;
  }

  bool value(int depth) {
    switch (next()) {
      case '{': return depth + 1 <= kMaxDepth && object(depth + 1);
      case '[': return depth + 1 <= kMaxDepth && array(depth + 1);
      case '"': {
        ++p_;
        std::string_view s;
        if (!string(s)) return false;
        string_slot(s);
        // Only printable ASCII without quote or backslash: its own text.
        canon_.quoted(s, false);
        return true;
      }
      case 't':
        if (!literal("true")) return false;
        out_.scalar(Value::boolean(true));
        canon_.put("true");
        return true;
      case 'f':
        if (!literal("false")) return false;
        out_.scalar(Value::boolean(false));
        canon_.put("false");
        return true;
      case 'n':
        if (!literal("null")) return false;
        out_.scalar(Value());
        canon_.put("null");
        return true;
      default: {
        // The reader's own reading of the plain shapes, so the same value.
        if (p_ == end_) return false;
        reader_.pos_ = static_cast<std::size_t>(p_ - reader_.text_.data());
        const std::size_t as_spelled = reader_.canonical_spelling_length();
        Value number;
        if (!reader_.read_plain_number(number)) return false;
        const char* const number_end = reader_.text_.data() + reader_.pos_;
        if (as_spelled != 0 && as_spelled == static_cast<std::size_t>(number_end - p_))
          canon_.put(std::string_view(p_, as_spelled));
        else
          append_number(number);
        p_ = number_end;
        out_.scalar(number);
        return true;
      }
    }
  }

  void append_number(const Value& number) {
    std::string& text = canon_.suspend();
    switch (number.kind()) {
      case Kind::UInt: append_uint(text, number.as_uint()); break;
      case Kind::NegInt: append_int(text, number.as_negint()); break;
      default: append_float(text, number.as_float()); break;
    }
    canon_.resume();
  }

  bool array(int depth) {
    ++p_;
    const std::size_t at = out_.open(Kind::Array);
    canon_.put('[');
    std::size_t count = 0;
    if (next() == ']') {
      ++p_;
    } else {
      for (;;) {
        if (!value(depth)) return false;
        ++count;
        const char c = next();
        if (c != ',' && c != ']') return false;
        ++p_;
        if (c == ']') break;
        canon_.put(',');
      }
    }
    canon_.put(']');
    out_.close(at, count);
    return true;
  }

  bool object(int depth) {
    ++p_;
    const std::size_t at = out_.open(Kind::Object);
    canon_.put('{');
    std::size_t count = 0;
    if (next() == '}') {
      ++p_;
      canon_.put('}');
      out_.close(at, 0);
      return true;
    }
    const std::size_t first_member = members_.size();
    for (;;) {
      if (next() != '"') return false;
      ++p_;
      std::string_view name;
      if (!string(name) || next() != ':') return false;
      ++p_;
      string_slot(name);
      const std::size_t begin = canon_.size();
      canon_.quoted(name, true);
      if (!value(depth)) return false;
      members_.push_back({name, begin, canon_.size()});
      ++count;
      const char c = next();
      if (c != ',' && c != '}') return false;
      ++p_;
      if (c == '}') break;
      canon_.put(',');
    }
    // Repeats are left to the exact way; putting the names in order finds them.
    if (!order_members(first_member)) return false;
    canon_.put('}');
    out_.close(at, count);
    return true;
  }

  // Room for the canonical text of a value as long as the rest of the text,
  // up to a bound: the text of the usual value is no longer than its input,
  // and space only grows from there.
  static std::string& reserved(std::string& text, const Reader& reader) {
    text.reserve(std::min<std::size_t>(reader.text_.size() - reader.pos_, 16 * 1024) + 64);
    return text;
  }

  // Where a member's canonical text, name and colon included, is in canon_.
  struct MemberText {
    std::string_view name;
    std::size_t begin;
    std::size_t end;
  };

  // Puts the texts of the members from `first` on, which were written one
  // after the other with commas between, in name order in the same place.
  // False when two of them have the same name.
  bool order_members(std::size_t first) {
    MemberText* m = members_.data() + first;
    const std::size_t n = members_.size() - first;
    auto less = [](const MemberText& a, const MemberText& b) {
      return name_before(a.name, b.name);
    };
    bool sorted = true;
    for (std::size_t i = 1; i < n && sorted; ++i) sorted = less(m[i - 1], m[i]);
    if (!sorted) {
      const std::size_t begin = m[0].begin;
      const std::size_t end = m[n - 1].end;
      if (n <= kInsertionLimit) {
        for (std::size_t i = 1; i < n; ++i) {
          const MemberText x = m[i];
          std::size_t j = i;
          for (; j > 0 && less(x, m[j - 1]); --j) m[j] = m[j - 1];
          m[j] = x;
        }
      } else {
        std::sort(m, m + n, less);
      }
      for (std::size_t i = 1; i < n; ++i)
        if (same_text(m[i - 1].name, m[i].name)) return false;
      reorder_.resize(end - begin);
      char* to = reorder_.data();
      for (std::size_t i = 0; i < n; ++i) {
        if (i) *to++ = ',';
        std::memcpy(to, canon_.at(m[i].begin), m[i].end - m[i].begin);
        to += m[i].end - m[i].begin;
      }
      std::memcpy(canon_.at(begin), reorder_.data(), end - begin);
    }
    members_.resize(first);
    return true;
  }

  Reader& reader_;
  Tape& tape_;
  TapeBuilder out_;
  TextOut canon_;
  // The members of the objects being read, outermost first.
  std::vector<MemberText> members_;
  std::string reorder_;
  const char* p_;
  const char* const first_;  // where the value's text begins
  const char* const end_;
};

bool read_tape_quickly(Reader& reader, int depth, Tape& out) {
  return QuickTapeReader(reader, out).read(depth);
}

}  // namespace lantor::json
