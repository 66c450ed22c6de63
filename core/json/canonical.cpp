#include "core/json/canonical.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/base/short_text.h"
#include "core/json/word_scan.h"

namespace lantor::json {

void append_uint(std::string& out, std::uint64_t u) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, u);
  out.append(buf, r.ptr);
}

void append_int(std::string& out, std::int64_t i) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, i);
  out.append(buf, r.ptr);
}

void append_float(std::string& out, double d) {
  if (std::isnan(d)) {
    out += "NaN";
    return;
  }
  if (std::isinf(d)) {
    out += d < 0 ? "-inf" : "inf";
    return;
  }
  if (d == 0.0) {
    out += std::signbit(d) ? "-0.0" : "0.0";
    return;
  }
  // Shortest round-trip digits, nearest to the exact value, in scientific
  // form: "-d.ddde+XX". The layout is then rebuilt from digits and exponent.
  char sci[40];
  auto r = std::to_chars(sci, sci + sizeof sci, d, std::chars_format::scientific);
  const char* p = sci;
  const bool negative = *p == '-';
  if (negative) ++p;
  char digits[24];
  int n = 0;
  for (; p < r.ptr && *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  int e = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), r.ptr, e);
  // to_chars never writes trailing zeros in the shortest form, but be exact.
  while (n > 1 && digits[n - 1] == '0') --n;
  append_float_digits(out, negative, digits, n, e);
}

void append_float_digits(std::string& out, bool negative, const char* digits, int n, int e) {
  if (negative) out += '-';
  if (e >= -5 && e <= 15) {
    if (e >= n - 1) {
      out.append(digits, n);
      out.append(static_cast<std::size_t>(e - n + 1), '0');
      out += ".0";
    } else if (e >= 0) {
      out.append(digits, e + 1);
      out += '.';
      out.append(digits + e + 1, n - e - 1);
    } else {
      out += "0.";
      out.append(static_cast<std::size_t>(-e - 1), '0');
      out.append(digits, n);
    }
    return;
  }
  out += digits[0];
  if (n >= 2) {
    out += '.';
    out.append(digits + 1, n - 1);
  }
  out += 'e';
  out += e < 0 ? '-' : '+';
  append_uint(out, static_cast<std::uint64_t>(e < 0 ? -e : e));
}

namespace {

// The end of the run at `p` that needs no escaping; whole words of such bytes
// are passed over eight at a time.
const char* plain_run_end(const char* p, const char* end) {
  while (end - p >= 8 && word_scan::escape_stops(word_scan::load(p)) == 0) p += 8;
  while (p < end) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == '"' || c == '\\') break;
    ++p;
  }
  return p;
}

}  // namespace

void append_json_string(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  const char* p = s.data();
  const char* end = p + s.size();
  while (p < end) {
    // Copy the longest run that needs no escaping in one go.
    const char* run = p;
    p = plain_run_end(p, end);
    out.append(run, p);
    if (p == end) break;
    unsigned char c = static_cast<unsigned char>(*p++);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default: {
        char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        out.append(esc, 6);
      }
    }
  }
  out += '"';
}

namespace {

// A member to be written: its name and where its value is (a Value, or a
// tape slot).
template <class Ref>
struct Entry {
  std::string_view name;
  Ref value;
  bool plain_name;  // known to need no escapes
};

template <class E>
inline bool name_less(const E& a, const E& b) {
  return name_before(a.name, b.name);
}

// Puts `order[0..n)` in name order. Objects are mostly small, where an
// insertion sort beats std::sort and stays a few instructions long; a large
// one goes to std::sort out of line.
template <class E>
[[gnu::noinline]] void sort_large(E* order, std::size_t n) {
  std::sort(order, order + n, [](const E& a, const E& b) { return name_less(a, b); });
}

template <class E>
inline void sort_by_name(E* order, std::size_t n) {
  if (n > 16) {
    sort_large(order, n);
    return;
  }
  for (std::size_t i = 1; i < n; ++i) {
    E m = order[i];
    std::size_t j = i;
    for (; j > 0 && name_less(m, order[j - 1]); --j) order[j] = order[j - 1];
    order[j] = m;
  }
}

// The canonical writer's output: bytes are put straight into the string's
// storage, which is grown to its capacity up front, so that the many small
// pieces of a document cost no library call each. finish() trims the string
// to what was written.
class Sink {
 public:
  explicit Sink(std::string& out) : out_(out), used_(out.size()) {
    out_.resize(out_.capacity());
  }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  void finish() { out_.resize(used_); }

  void put(char c) {
    if (used_ == out_.size()) grow(1);
    out_[used_++] = c;
  }
  void append(const char* p, std::size_t n) {
    if (out_.size() - used_ < n) grow(n);
    std::memcpy(out_.data() + used_, p, n);
    used_ += n;
  }
  void append(std::string_view s) { append(s.data(), s.size()); }

  // A JSON string known to need no escapes.
  void plain_string(std::string_view s) {
    if (out_.size() - used_ < s.size() + 2) grow(s.size() + 2);
    char* d = out_.data() + used_;
    d[0] = '"';
    copy_text(d + 1, s.data(), s.size());
    d[s.size() + 1] = '"';
    used_ += s.size() + 2;
  }

  // A JSON string, escaped exactly as append_json_string does.
  void string(std::string_view s) {
    const char* p = s.data();
    const char* end = p + s.size();
    p = plain_run_end(p, end);
    if (p != end) {
      // Escapes are rare: the general routine writes them.
      scratch_.clear();
      append_json_string(scratch_, s);
      append(scratch_);
      return;
    }
    plain_string(s);
  }

  void float_number(double d) {
    scratch_.clear();
    append_float(scratch_, d);
    append(scratch_);
  }

 private:
  void grow(std::size_t need) {
    std::size_t size = out_.size() * 2;
    if (size < used_ + need) size = used_ + need;
    if (size < 64) size = 64;
    out_.resize(size);
  }

  std::string& out_;
  std::size_t used_;
  // Where escaped strings and floats are spelled before being copied in.
  std::string scratch_;
};

// A scalar: a Value or a tape's Node, which have the same accessors.
template <class V>
void write_scalar(Sink& out, const V& v) {
  switch (v.kind()) {
    case Kind::Null: out.append("null", 4); return;
    case Kind::Bool:
      if (v.as_bool())
        out.append("true", 4);
      else
        out.append("false", 5);
      return;
    case Kind::UInt: {
      char buf[24];
      auto r = std::to_chars(buf, buf + sizeof buf, v.as_uint());
      out.append(buf, static_cast<std::size_t>(r.ptr - buf));
      return;
    }
    case Kind::NegInt: {
      char buf[24];
      auto r = std::to_chars(buf, buf + sizeof buf, v.as_negint());
      out.append(buf, static_cast<std::size_t>(r.ptr - buf));
      return;
    }
    case Kind::Float: out.float_number(v.as_float()); return;
    case Kind::String: out.string(v.as_string()); return;
    default: return;
  }
}

// Sorts an object's members, gathered into `small` when they fit, and
// writes them with `write_value(sink, ref)`.
template <class Ref, class Gather, class WriteValue>
void write_members(Sink& out, std::size_t n, Gather&& gather, WriteValue&& write_value) {
  out.put('{');
  // Small objects (the common case) sort on the stack.
  Entry<Ref> small[16];
  std::vector<Entry<Ref>> large;
  Entry<Ref>* order = small;
  if (n > 16) {
    large.resize(n);
    order = large.data();
  }
  gather(order);
  sort_by_name(order, n);
  for (std::size_t i = 0; i < n; ++i) {
    if (i) out.put(',');
    if (order[i].plain_name)
      out.plain_string(order[i].name);
    else
      out.string(order[i].name);
    out.put(':');
    write_value(out, order[i].value);
  }
  out.put('}');
}

void write(Sink& out, const Value& v) {
  if (v.is_array()) {
    out.put('[');
    bool first = true;
    for (const Value& e : v.as_array()) {
      if (!first) out.put(',');
      first = false;
      write(out, e);
    }
    out.put(']');
    return;
  }
  if (v.is_object()) {
    const Object& o = v.as_object();
    write_members<const Value*>(
        out, o.size(),
        [&](Entry<const Value*>* order) {
          for (std::size_t i = 0; i < o.size(); ++i) order[i] = {o[i].name, &o[i].value, false};
        },
        [](Sink& sink, const Value* value) { write(sink, *value); });
    return;
  }
  write_scalar(out, v);
}

// Writes the value at `slot` of a tape whose string bytes are `bytes`, and
// returns the slot after it: its contents are walked in place, in order.
const TapeSlot* write(Sink& out, const TapeSlot* slot, const char* bytes) {
  switch (slot->kind()) {
    case Kind::Array: {
      out.put('[');
      const TapeSlot* at = slot + 1;
      for (std::uint64_t i = 0; i < slot->count(); ++i) {
        if (i) out.put(',');
        at = write(out, at, bytes);
      }
      out.put(']');
      return at;
    }
    case Kind::Object:
      write_members<const TapeSlot*>(
          out, static_cast<std::size_t>(slot->count()),
          [&](Entry<const TapeSlot*>* order) {
            const TapeSlot* name = slot + 1;
            for (std::uint64_t i = 0; i < slot->count(); ++i) {
              order[i] = {Node(name, bytes).as_string(), name + 1, name->plain()};
              name = name + 1 + name[1].span();
            }
          },
          [bytes](Sink& sink, const TapeSlot* value) { write(sink, value, bytes); });
      return slot + slot->span();
    case Kind::String:
      if (slot->plain())
        out.plain_string(Node(slot, bytes).as_string());
      else
        out.string(Node(slot, bytes).as_string());
      return slot + 1;
    default:
      write_scalar(out, Node(slot, bytes));
      return slot + 1;
  }
}

}  // namespace

void append_canonical(std::string& out, const Value& v) {
  Sink sink(out);
  write(sink, v);
  sink.finish();
}

std::string canonical_json(const Value& v) {
  std::string out;
  // Past the first few growth steps of a small document.
  out.reserve(1024);
  append_canonical(out, v);
  return out;
}

std::string canonical_json(const Tape& tape) {
  if (const std::string* text = tape.canonical_text()) return *text;
  std::string out;
  out.reserve(1024);
  Sink sink(out);
  const Node root = tape.root();
  write(sink, root.slot(), root.bytes());
  sink.finish();
  return out;
}

}  // namespace lantor::json
