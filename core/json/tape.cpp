#include "core/json/tape.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "core/base/short_text.h"
#include "core/json/canonical.h"

namespace lantor::json {
namespace {

// Past this many members, an object is checked for repeated names once it
// is read, by sorting, instead of name by name as it is read.
constexpr std::size_t kScanLimit = 16;

std::uint64_t head(Kind kind, std::uint64_t count) { return TapeSlot::make_head(kind, 0, count); }


}  // namespace

double Node::to_double() const noexcept {
  switch (kind()) {
    case Kind::UInt: return static_cast<double>(as_uint());
    case Kind::NegInt: return static_cast<double>(as_negint());
    case Kind::Float: return as_float();
    default: return 0.0;
  }
}

std::optional<Node> Node::find(std::string_view name) const noexcept {
  for (MemberRef m : members())
    if (m.name == name) return m.value;
  return std::nullopt;
}

// Appends values to a tape, in document order.
class TapeBuilder {
 public:
  explicit TapeBuilder(Tape& tape) : tape_(tape) {
    tape_.slots_.clear();
    tape_.bytes_.clear();
    tape_.canonical_.clear();
    tape_.has_canonical_ = false;
  }
  // Room for a value read from `bytes` of text: a slot takes at least two
  // bytes of it, and a string's bytes are no more than its text. Bounded,
  // since the value may be far shorter than the rest of a command.
  void reserve_for(std::size_t bytes) {
    bytes = std::min<std::size_t>(bytes, 16 * 1024);
    tape_.slots_.reserve(bytes / 2 + 1);
    tape_.bytes_.reserve(bytes);
  }

  void scalar(const Value& v) {
    TapeSlot slot{head(v.kind(), 0), {}};
    switch (v.kind()) {
      case Kind::Bool: slot.b = v.as_bool(); break;
      case Kind::UInt: slot.u = v.as_uint(); break;
      case Kind::NegInt: slot.i = v.as_negint(); break;
      case Kind::Float: slot.d = v.as_float(); break;
      default: slot.u = 0; break;
    }
    tape_.slots_.push_back(slot);
  }
  // `plain` when `s` is known to hold no byte that JSON text must escape.
  void string(std::string_view s, bool plain = false) {
    TapeSlot slot{TapeSlot::make_head(Kind::String, plain ? TapeSlot::kPlain : 0, s.size()), {}};
    slot.u = tape_.bytes_.size();
    tape_.bytes_.append(s);
    tape_.slots_.push_back(slot);
  }
  // A string whose bytes the tape will hold from `offset` on: the caller
  // puts them there.
  void string_at(std::size_t offset, std::size_t size, bool plain) {
    TapeSlot slot{TapeSlot::make_head(Kind::String, plain ? TapeSlot::kPlain : 0, size), {}};
    slot.u = offset;
    tape_.slots_.push_back(slot);
  }
  // The tape's bytes, all at once.
  void set_bytes(std::string_view bytes) { tape_.bytes_.assign(bytes); }
  // A container's slot, completed by close() once its contents are in.
  std::size_t open(Kind kind) {
    tape_.slots_.push_back(TapeSlot{head(kind, 0), {}});
    return tape_.slots_.size() - 1;
  }
  void close(std::size_t at, std::size_t count) {
    TapeSlot& slot = tape_.slots_[at];
    slot.head = head(slot.kind(), count);
    slot.u = tape_.slots_.size() - at;
  }

  std::string_view name_at(std::size_t slot) const {
    const TapeSlot& s = tape_.slots_[slot];
    return {tape_.bytes_.data() + s.u, static_cast<std::size_t>(s.count())};
  }
  std::size_t size() const { return tape_.slots_.size(); }

  void value(const Value& v) {
    switch (v.kind()) {
      case Kind::String: string(v.as_string()); return;
      case Kind::Array: {
        std::size_t at = open(Kind::Array);
        for (const Value& e : v.as_array()) value(e);
        close(at, v.as_array().size());
        return;
      }
      case Kind::Object: {
        std::size_t at = open(Kind::Object);
        for (const Member& m : v.as_object()) {
          string(m.name);
          value(m.value);
        }
        close(at, v.as_object().size());
        return;
      }
      default: scalar(v); return;
    }
  }

 private:
  Tape& tape_;
};

Tape::Tape() { slots_.push_back(TapeSlot{head(Kind::Null, 0), {}}); }

Tape Tape::from_value(const Value& v) {
  Tape tape;
  TapeBuilder(tape).value(v);
  return tape;
}

namespace {

Value node_value(Node n) {
  switch (n.kind()) {
    case Kind::Null: return Value();
    case Kind::Bool: return Value::boolean(n.as_bool());
    case Kind::UInt: return Value::uint(n.as_uint());
    case Kind::NegInt: return Value::negint(n.as_negint());
    case Kind::Float: return Value::floating(n.as_float());
    case Kind::String: return Value::string(std::string(n.as_string()));
    case Kind::Array: {
      Array items;
      items.reserve(n.size());
      for (Node e : n.elements()) items.push_back(node_value(e));
      return Value::array(std::move(items));
    }
    case Kind::Object: {
      Object o;
      o.reserve(n.size());
      for (MemberRef m : n.members()) o.push_unique(std::string(m.name), node_value(m.value));
      return Value::object(std::move(o));
    }
  }
  return Value();
}

bool node_equals(Node a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Kind::Null: return true;
    case Kind::Bool: return a.as_bool() == b.as_bool();
    case Kind::UInt: return a.as_uint() == b.as_uint();
    case Kind::NegInt: return a.as_negint() == b.as_negint();
    // Bitwise, as Values compare: -0.0 is not 0.0.
    case Kind::Float: return a.slot()->u == b.as_uint();
    case Kind::String: return a.as_string() == b.as_string();
    case Kind::Array: {
      const Array& items = b.as_array();
      if (a.size() != items.size()) return false;
      std::size_t i = 0;
      for (Node e : a.elements())
        if (!node_equals(e, items[i++])) return false;
      return true;
    }
    case Kind::Object: {
      const Object& o = b.as_object();
      if (a.size() != o.size()) return false;
      std::size_t i = 0;
      for (MemberRef m : a.members()) {
        if (m.name != o[i].name || !node_equals(m.value, o[i].value)) return false;
        ++i;
      }
      return true;
    }
  }
  return false;
}

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

// One quick pass over the text of a value as it is usually written: ASCII
// strings and names without escapes, numbers of the reader's plain shapes,
// no repeated names. It meets anything else (an error, an escape, non-ASCII
// text, an exponent, a repeat, the nesting limit) by giving up, and the
// exact TapeReader reads the value from the start instead, so it never
// decides an error or a value the exact way would decide otherwise.
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

//
// It writes the canonical text as it goes: a value's text goes to the end of
// `canon_`, and an object's members, once all are written, are put in name
// order there.
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
      if (end_ - p_ >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p_, sizeof w);
        if (stops(w) == 0) {
          p_ += 8;
          continue;
        }
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
  // Flags the quote, the backslash, controls and non-ASCII bytes of a word.
  static std::uint64_t stops(std::uint64_t w) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    auto zero_bytes = [](std::uint64_t x) { return (x - kOnes) & ~x & kHighs; };
    return zero_bytes(w ^ (kOnes * '"')) | zero_bytes(w ^ (kOnes * '\\')) |
           ((w - kOnes * 0x20) & ~w & kHighs) | (w & kHighs);
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
        ++p_;
        if (c == ']') break;
        if (c != ',') return false;
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
      ++p_;
      if (c == '}') break;
      if (c != ',') return false;
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
      // Names mostly differ in their first byte; char_traits<char> orders
      // the rest as unsigned bytes.
      if (!a.name.empty() && !b.name.empty() && a.name[0] != b.name[0])
        return static_cast<unsigned char>(a.name[0]) < static_cast<unsigned char>(b.name[0]);
      return a.name < b.name;
    };
    bool sorted = true;
    for (std::size_t i = 1; i < n && sorted; ++i) sorted = less(m[i - 1], m[i]);
    if (!sorted) {
      const std::size_t begin = m[0].begin;
      const std::size_t end = m[n - 1].end;
      if (n <= kScanLimit) {
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

Value Tape::to_value() const { return node_value(root()); }

bool operator==(const Tape& a, const Value& b) { return node_equals(a.root(), b); }

ReadStatus read_tape(Reader& reader, int depth, Tape& out) {
  reader.skip_ws();
  const std::size_t begin = reader.offset();
  TapeBuilder(out).reserve_for(reader.text().size() - begin);
  if (QuickTapeReader(reader, out).read(depth)) return Ok{};
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
