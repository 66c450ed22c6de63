#include "core/json/tape_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/base/short_text.h"
#include "core/json/canonical.h"

namespace lantor::json {
namespace {

// Room for what a value read from `text_bytes` of text needs: a slot takes
// at least two bytes of text, and the string bytes and the canonical text of
// the usual value are no longer than the text. Bounded, since the value may
// be far shorter than the rest of a command; space only grows from there.
constexpr std::size_t kReserveBound = std::size_t{16} * 1024;

std::size_t text_room(std::size_t text_bytes) { return std::min(text_bytes, kReserveBound) + 64; }

std::string& reserved(std::string& s, std::size_t text_bytes) {
  s.reserve(text_room(text_bytes));
  return s;
}

std::vector<TapeSlot>& cleared(std::vector<TapeSlot>& slots, std::size_t text_bytes) {
  slots.clear();
  slots.reserve(std::min(text_bytes, kReserveBound) / 2 + 1);
  return slots;
}

}  // namespace

TapeReader::TapeReader(Reader& reader, Tape& tape, std::size_t text_bytes, Strings strings)
    : reader_(reader),
      tape_(tape),
      slots_(cleared(tape.slots_, text_bytes)),
      strings_(strings),
      first_(reader.text().data() + reader.offset()),
      end_(reader.text().data() + reader.text().size()),
      canon_(reserved(canonical_, text_bytes), text_room(text_bytes)) {
  tape.bytes_.clear();
  tape.canonical_.clear();
}

TapeReader::~TapeReader() {
  if (!finished_) finish();
}

void TapeReader::finish(bool canonical) {
  finished_ = true;
  std::string& bytes = tape_.bytes_;
  if (strings_ == Strings::InText)
    bytes.assign(first_, static_cast<std::size_t>(reader_.text().data() + reader_.offset() - first_));
  // The copied strings follow the text; their slots learn where.
  if (!copied_.empty()) {
    const std::uint64_t base = bytes.size();
    bytes += copied_;
    for (TapeSlot& slot : slots_)
      if (slot.kind() == Kind::String && (slot.u & kCopied) != 0) slot.u = base + (slot.u & ~kCopied);
  }
  if (canonical) {
    canon_.finish();
    tape_.canonical_ = std::move(canonical_);
  }
}

void TapeReader::name(std::string_view name) { string_slot(name, true); }

void TapeReader::end(std::size_t at, std::size_t count) { close(at, count); }

[[gnu::always_inline]] inline void TapeReader::close(std::size_t at, std::size_t count) {
  TapeSlot& slot = slots_[at];
  slot.head = TapeSlot::make_head(slot.kind(), count);
  slot.u = slots_.size() - at;
}

ReadStatus TapeReader::value(int depth) {
  Reader& r = reader_;
  const int c = r.peek_ws();
  switch (c) {
    case '"': return string_value();
    case '{': return object(depth);
    case '[': return array(depth);
    case 't': return literal("true", Kind::Bool, true);
    case 'f': return literal("false", Kind::Bool, false);
    case 'n': return literal("null", Kind::Null, false);
    case -1: return fail(r.syntax_peek_error(msg::kEofValue));
    default:
      if (c == '-' || (c >= '0' && c <= '9')) return number_value();
      return fail(r.syntax_peek_error(msg::kExpectedValue));
  }
}

ReadStatus TapeReader::literal(std::string_view word, Kind kind, bool truth) {
  LANTOR_TRY(reader_.read_literal(word));
  slots_.emplace_back(TapeSlot::make_head(kind, 0), truth ? 1 : 0);
  canon_.put(word);
  return Ok{};
}

[[gnu::always_inline]] inline std::uint64_t TapeReader::string_slot(std::string_view s, bool escaped) {
  std::uint64_t at;
  if (strings_ == Strings::InText && !escaped) {
    at = static_cast<std::uint64_t>(s.data() - first_);
  } else {
    at = kCopied | copied_.size();
    copied_ += s;
  }
  slots_.emplace_back(TapeSlot::make_head(Kind::String, s.size()), at);
  return at;
}

[[gnu::always_inline]] inline std::string_view TapeReader::string_at(std::uint64_t at,
                                                                     std::size_t size) const {
  if ((at & kCopied) != 0) return {copied_.data() + (at & ~kCopied), size};
  return {first_ + at, size};
}

[[gnu::always_inline]] inline void TapeReader::canonical_string(std::string_view s, bool escaped) {
  if (!escaped) {
    // Nothing in it needs escaping: its own bytes, as they were read.
    canon_.quoted(s);
    return;
  }
  append_json_string(canon_.suspend(), s);
  canon_.resume();
}

[[gnu::always_inline]] inline ReadStatus TapeReader::string_value() {
  LANTOR_ASSIGN_OR_RETURN(const std::string_view s, reader_.read_string_view(decoded_));
  const bool escaped = s.data() == decoded_.data();
  string_slot(s, escaped);
  canonical_string(s, escaped);
  return Ok{};
}

[[gnu::always_inline]] inline void TapeReader::put_uint(const char* text, std::size_t size, std::uint64_t u) {
  slots_.emplace_back(TapeSlot::make_head(Kind::UInt, 0), u);
  canon_.put(text, size);
}

void TapeReader::put_number(const NumberSpelling& spelling, const Number& n) {
  std::uint64_t bits = n.u;
  if (n.kind == Kind::Float) bits = std::bit_cast<std::uint64_t>(n.d);
  slots_.emplace_back(TapeSlot::make_head(n.kind, 0), bits);
  if (canonical_as_spelled(spelling)) {
    canon_.put(spelling.begin, static_cast<std::size_t>(spelling.end - spelling.begin));
  } else {
    append_canonical_number(canon_.suspend(), spelling, n);
    canon_.resume();
  }
}

[[gnu::always_inline]] inline ReadStatus TapeReader::number_value() {
  // Most numbers are small unsigned integers, taken here in one pass.
  const char* const at = reader_.text().data() + reader_.offset();
  std::uint64_t u = 0;
  if (const char* const past = plain_uint_end(at, end_, u)) {
    const auto size = static_cast<std::size_t>(past - at);
    reader_.advance(size);
    put_uint(at, size, u);
    return Ok{};
  }
  NumberSpelling spelling;
  Number n;
  LANTOR_TRY(reader_.read_number(spelling, n));
  put_number(spelling, n);
  return Ok{};
}

ReadStatus TapeReader::array(int depth) {
  Reader& r = reader_;
  LANTOR_TRY(r.open(depth));
  const std::size_t at = begin(Kind::Array);
  canon_.put('[');
  std::size_t count = 0;
  bool first = true;
  for (;;) {
    LANTOR_ASSIGN_OR_RETURN(const bool more, r.next_element(first));
    if (!more) break;
    if (count != 0) canon_.put(',');
    LANTOR_TRY(value(depth + 1));
    ++count;
  }
  LANTOR_TRY(r.end_array());
  canon_.put(']');
  close(at, count);
  return Ok{};
}

ReadStatus TapeReader::object(int depth) {
  Reader& r = reader_;
  LANTOR_TRY(r.open(depth));
  const std::size_t at = begin(Kind::Object);
  canon_.put('{');
  const std::size_t first_member = members_.size();
  bool first = true;
  for (;;) {
    LANTOR_ASSIGN_OR_RETURN(const bool more, r.key_start(first));
    if (!more) break;
    LANTOR_ASSIGN_OR_RETURN(const std::string_view name, r.read_string_view(decoded_));
    LANTOR_TRY(r.colon());
    start_member(first_member, name, name.data() == decoded_.data());
    LANTOR_TRY(value(depth + 1));
    // `m` may have moved while the value was read.
    members_.back().text_end = canon_.size();
  }
  LANTOR_TRY(r.end_object());
  order_members(at, first_member);
  canon_.put('}');
  return Ok{};
}

[[gnu::always_inline]] inline void TapeReader::start_member(std::size_t first_member, std::string_view name,
                                                            bool escaped) {
  const bool comma = members_.size() != first_member;
  Member& m = members_.emplace_back();
  m.name_size = name.size();
  m.slot = slots_.size();
  m.name_at = string_slot(name, escaped);
  if (!escaped) {
    m.text_begin = canon_.size() + (comma ? 1 : 0);
    canon_.member_name(name, comma);
    return;
  }
  if (comma) canon_.put(',');
  m.text_begin = canon_.size();
  canonical_string(name, escaped);
  canon_.put(':');
}

ReadStatus TapeReader::whole_value(int depth) {
  const char* const start = reader_.text().data() + reader_.offset();
  // Room for the members of the usual nesting of objects without growing.
  members_.reserve(64);
  if (const char* const past = quick_value(skip_ws(start), depth)) {
    reader_.advance(static_cast<std::size_t>(past - start));
    return Ok{};
  }
  slots_.clear();
  members_.clear();
  copied_.clear();
  canon_.truncate(0);
  return value(depth);
}

[[gnu::always_inline]] inline const char* TapeReader::quick_value(const char* p, int depth) {
  if (p == end_) return nullptr;
  switch (*p) {
    case '"': return quick_string(p);
    case '{': return quick_object(p, depth);
    case '[': return quick_array(p, depth);
    default: {
      // Small unsigned integers, the usual numbers, without a call.
      std::uint64_t u = 0;
      if (const char* const past = plain_uint_end(p, end_, u)) {
        put_uint(p, static_cast<std::size_t>(past - p), u);
        return past;
      }
      return quick_other(p, depth);
    }
  }
}

const char* TapeReader::quick_other(const char* p, int depth) {
  switch (*p) {
    case 't': return quick_literal(p, "true", Kind::Bool, true);
    case 'f': return quick_literal(p, "false", Kind::Bool, false);
    case 'n': return quick_literal(p, "null", Kind::Null, false);
    case ' ':
    case '\n':
    case '\t':
    case '\r': {
      // Whitespace before the value.
      return quick_value(skip_ws(p), depth);
    }
    default: return quick_number(p);
  }
}

const char* TapeReader::other_string_text(const char* p, std::string_view& s, bool& escaped) {
  // Escapes and text beyond ASCII, read by a reader of its own over the rest
  // of the text, so that they are taken exactly as the reader takes them.
  Reader string_reader({p, static_cast<std::size_t>(end_ - p)});
  ReadResult<std::string_view> read = string_reader.read_string_view(decoded_);
  if (!read.ok()) return nullptr;
  s = *read;
  escaped = s.data() == decoded_.data();
  return p + string_reader.offset();
}

[[gnu::always_inline]] inline const char* TapeReader::quick_string(const char* p) {
  const char* const q = plain_run_end(p + 1, end_);
  if (q < end_ && *q == '"') {
    const std::string_view s(p + 1, static_cast<std::size_t>(q - p) - 1);
    string_slot(s, false);
    canon_.quoted(s);
    return q + 1;
  }
  return other_string(p);
}

const char* TapeReader::other_string(const char* p) {
  std::string_view s;
  bool escaped = false;
  const char* const past = other_string_text(p, s, escaped);
  if (past == nullptr) return nullptr;
  string_slot(s, escaped);
  canonical_string(s, escaped);
  return past;
}

const char* TapeReader::other_name(const char* p, std::size_t first_member) {
  std::string_view name;
  bool escaped = false;
  const char* const past = other_string_text(p, name, escaped);
  if (past == nullptr) return nullptr;
  start_member(first_member, name, escaped);
  return past;
}

[[gnu::always_inline]] inline const char* TapeReader::quick_number(const char* p) {
  if (*p != '-' && (*p < '0' || *p > '9')) return nullptr;
  NumberSpelling spelling;
  const NumberScan scan = scan_number_text(p, end_, spelling);
  Number n;
  if (scan.syntax != NumberSyntax::Ok || !json::number_value(spelling, n)) return nullptr;
  put_number(spelling, n);
  return scan.at;
}

const char* TapeReader::quick_literal(const char* p, std::string_view word, Kind kind, bool truth) {
  if (static_cast<std::size_t>(end_ - p) < word.size() || std::memcmp(p, word.data(), word.size()) != 0)
    return nullptr;
  slots_.emplace_back(TapeSlot::make_head(kind, 0), truth ? 1 : 0);
  canon_.put(word);
  return p + word.size();
}

const char* TapeReader::quick_array(const char* p, int depth) {
  if (depth + 1 > kMaxDepth) return nullptr;
  const std::size_t at = begin(Kind::Array);
  canon_.put('[');
  p = skip_ws(p + 1);
  std::size_t count = 0;
  if (p == end_ || *p != ']') {
    for (;;) {
      // Whitespace is skipped only where the byte expected is not there.
      p = quick_value(p, depth + 1);
      if (p == nullptr) return nullptr;
      ++count;
      if (p == end_ || (*p != ',' && *p != ']')) p = skip_ws(p);
      if (p == end_) return nullptr;
      if (*p == ']') break;
      if (*p != ',') return nullptr;
      canon_.put(',');
      ++p;
    }
  }
  canon_.put(']');
  close(at, count);
  return p + 1;
}

const char* TapeReader::quick_object(const char* p, int depth) {
  if (depth + 1 > kMaxDepth) return nullptr;
  const std::size_t at = begin(Kind::Object);
  canon_.put('{');
  const std::size_t first_member = members_.size();
  p = skip_ws(p + 1);
  if (p == end_ || *p != '}') {
    for (;;) {
      if (p == end_ || *p != '"') return nullptr;
      const char* name_end = plain_run_end(p + 1, end_);
      if (name_end < end_ && *name_end == '"') {
        start_member(first_member, {p + 1, static_cast<std::size_t>(name_end - p) - 1}, false);
        ++name_end;
      } else {
        name_end = other_name(p, first_member);
        if (name_end == nullptr) return nullptr;
      }
      // Whitespace is skipped only where the byte expected is not there.
      p = name_end;
      if (p == end_ || *p != ':') p = skip_ws(p);
      if (p == end_ || *p != ':') return nullptr;
      p = quick_value(p + 1, depth + 1);
      if (p == nullptr) return nullptr;
      members_.back().text_end = canon_.size();
      if (p == end_ || (*p != ',' && *p != '}')) p = skip_ws(p);
      if (p == end_) return nullptr;
      if (*p == '}') break;
      if (*p != ',') return nullptr;
      ++p;
      if (p == end_ || *p != '"') p = skip_ws(p);
    }
  }
  order_members(at, first_member);
  canon_.put('}');
  return p + 1;
}

[[gnu::always_inline]] inline void TapeReader::order_members(std::size_t at, std::size_t first) {
  // One member or none: nothing to order.
  const std::size_t n = members_.size() - first;
  if (n <= 1) {
    close(at, n);
    if (n == 1) members_.pop_back();
    return;
  }
  order_many(at, first);
}

void TapeReader::order_many(std::size_t at, std::size_t first) {
  const Member* m = members_.data() + first;
  const std::size_t n = members_.size() - first;
  auto name_of = [this](const Member& member) { return string_at(member.name_at, member.name_size); };
  // Written in name order already, which also means without repeats: the
  // usual case, where nothing moves.
  bool sorted = true;
  for (std::size_t i = 1; i < n && sorted; ++i) sorted = name_before(name_of(m[i - 1]), name_of(m[i]));
  if (sorted) {
    close(at, n);
    members_.resize(first);
    return;
  }
  if (n == 2 && !same_text(name_of(m[0]), name_of(m[1]))) {
    // Two members the other way round: "a,b" becomes "b,a" in place.
    const std::size_t a = m[0].text_end - m[0].text_begin;
    const std::size_t b = m[1].text_end - m[1].text_begin;
    reorder_.resize(std::max(reorder_.size(), a));
    char* const text = canon_.at(m[0].text_begin);
    copy_text(reorder_.data(), text, a);
    std::memmove(text, text + a + 1, b);
    text[b] = ',';
    copy_text(text + b + 1, reorder_.data(), a);
    close(at, n);
    members_.resize(first);
    return;
  }
  order_.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view name = name_of(m[i]);
    order_[i] = {name, name_key(name), i};
  }
  sort_entries(order_.data(), n);
  bool repeats = false;
  for (std::size_t i = 1; i < n && !repeats; ++i) repeats = same_text(order_[i - 1].name, order_[i].name);

  // The members' texts, which lie one after the other with commas between,
  // are written again in name order in the same place; of a repeated name,
  // only the last member, which the stable sort put last among its equals.
  const std::size_t begin = m[0].text_begin;
  const std::size_t end = m[n - 1].text_end;
  reorder_.resize(end - begin);
  char* to = reorder_.data();
  for (std::size_t k = 0; k < n; ++k) {
    if (k + 1 < n && same_text(order_[k].name, order_[k + 1].name)) continue;
    const Member& member = m[order_[k].index];
    if (to != reorder_.data()) *to++ = ',';
    copy_text(to, canon_.at(member.text_begin), member.text_end - member.text_begin);
    to += member.text_end - member.text_begin;
  }
  const auto written = static_cast<std::size_t>(to - reorder_.data());
  std::memcpy(canon_.at(begin), reorder_.data(), written);
  canon_.truncate(begin + written);

  if (repeats)
    settle_repeats(at, m, n);
  else
    close(at, n);
  members_.resize(first);
}

void TapeReader::settle_repeats(std::size_t at, const Member* m, std::size_t n) {
  // For each name in the order of its first occurrence: where that was, and
  // where its last occurrence is. order_ holds equal names together, in
  // document order.
  std::vector<std::pair<std::size_t, std::size_t>> kept;
  for (std::size_t k = 0; k < n;) {
    std::size_t last = k;
    while (last + 1 < n && same_text(order_[last + 1].name, order_[k].name)) ++last;
    kept.emplace_back(order_[k].index, order_[last].index);
    k = last + 1;
  }
  std::sort(kept.begin(), kept.end());
  // The first occurrence's name slot, then the last occurrence's value
  // slots, which run up to the next member's name (or the object's end).
  auto value_end = [&](std::size_t i) { return i + 1 < n ? m[i + 1].slot : slots_.size(); };
  std::vector<TapeSlot> settled;
  settled.reserve(slots_.size() - at - 1);
  for (const auto& [first, last] : kept) {
    settled.push_back(slots_[m[first].slot]);
    settled.insert(settled.end(), slots_.begin() + static_cast<std::ptrdiff_t>(m[last].slot + 1),
                   slots_.begin() + static_cast<std::ptrdiff_t>(value_end(last)));
  }
  slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(at + 1), slots_.end());
  slots_.insert(slots_.end(), settled.begin(), settled.end());
  close(at, kept.size());
}

ReadStatus read_tape(Reader& reader, int depth, Tape& out) {
  reader.skip_ws();
  TapeReader tape(reader, out, reader.text().size() - reader.offset());
  LANTOR_TRY(tape.whole_value(depth));
  tape.finish(true);
  return Ok{};
}

}  // namespace lantor::json
