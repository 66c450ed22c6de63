#include "core/diagnose/located_text.h"

#include <algorithm>
#include <charconv>

#include "core/json/number.h"
#include "core/json/reader.h"

namespace lantor::diagnose {
namespace {

class Builder {
 public:
  Builder(std::string_view text, std::vector<LocatedValue>& out) : reader_(text), out_(out) {}

  // Reads the value at the reader's position as values_[at]; stops at the
  // first failure, leaving what was read.
  json::ReadStatus value(std::size_t at, int depth) {
    const int c = reader_.peek_ws();
    out_[at].start = reader_.offset();
    switch (c) {
      case '{': LANTOR_TRY(object(at, depth)); break;
      case '[': LANTOR_TRY(array(at, depth)); break;
      case '"': {
        std::string s;
        LANTOR_TRY(reader_.read_string(s));
        break;
      }
      case 't': LANTOR_TRY(reader_.read_literal("true")); break;
      case 'f': LANTOR_TRY(reader_.read_literal("false")); break;
      case 'n': LANTOR_TRY(reader_.read_literal("null")); break;
      default: {
        if (c != '-' && (c < '0' || c > '9'))
          return fail(reader_.syntax_peek_error(json::msg::kExpectedValue));
        json::NumberSpelling spelling;
        LANTOR_TRY(reader_.scan_number(spelling));
      }
    }
    out_[at].end = reader_.offset();
    return Ok{};
  }

  json::Reader& reader() { return reader_; }

 private:
  std::size_t add(std::size_t parent, std::string token) {
    out_.push_back(LocatedValue{});
    const std::size_t at = out_.size() - 1;
    out_[at].parent = parent;
    out_[at].token = std::move(token);
    out_[parent].children.push_back(at);
    return at;
  }

  json::ReadStatus object(std::size_t at, int depth) {
    out_[at].kind = LocatedValue::Kind::Object;
    LANTOR_TRY(reader_.open(depth));
    bool first = true;
    for (;;) {
      LANTOR_ASSIGN_OR_RETURN(const bool more, reader_.key_start(first));
      if (!more) break;
      const std::size_t name_start = reader_.offset();
      std::string name;
      LANTOR_TRY(reader_.read_string(name));
      const std::size_t name_end = reader_.offset();
      const std::size_t member = add(at, std::move(name));
      out_[member].name_start = name_start;
      out_[member].name_end = name_end;
      out_[member].start = name_end;
      LANTOR_TRY(reader_.colon());
      LANTOR_TRY(value(member, depth + 1));
    }
    return reader_.end_object();
  }

  json::ReadStatus array(std::size_t at, int depth) {
    out_[at].kind = LocatedValue::Kind::Array;
    LANTOR_TRY(reader_.open(depth));
    bool first = true;
    for (std::size_t i = 0;; ++i) {
      LANTOR_ASSIGN_OR_RETURN(const bool more, reader_.next_element(first));
      if (!more) break;
      const std::size_t element = add(at, std::to_string(i));
      out_[element].start = reader_.offset();
      LANTOR_TRY(value(element, depth + 1));
    }
    return reader_.end_array();
  }

  json::Reader reader_;
  std::vector<LocatedValue>& out_;
};

}  // namespace

LocatedText::LocatedText(std::string_view text, int depth) {
  Builder builder(text, values_);
  if (builder.reader().peek_ws() < 0) return;
  values_.push_back(LocatedValue{});
  (void)builder.value(0, depth);
}

std::size_t LocatedText::child(std::size_t value, std::string_view name) const {
  if (value == kNoValue) return kNoValue;
  const LocatedValue& v = values_[value];
  if (v.kind == LocatedValue::Kind::Object) {
    // Reverse iterators: clang 14 cannot build std::views::reverse over
    // libstdc++ 12, and the sanitizer build uses it.
    // NOLINTNEXTLINE(modernize-loop-convert)
    for (auto it = v.children.rbegin(); it != v.children.rend(); ++it)
      if (values_[*it].token == name) return *it;
    return kNoValue;
  }
  if (v.kind != LocatedValue::Kind::Array) return kNoValue;
  std::size_t index = 0;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), index);
  if (ec != std::errc() || end != name.data() + name.size() || index >= v.children.size()) return kNoValue;
  return v.children[index];
}

std::size_t LocatedText::member_or_element(std::size_t value, std::string_view name,
                                           std::size_t index) const {
  if (value == kNoValue) return kNoValue;
  return values_[value].kind == LocatedValue::Kind::Object ? child(value, name)
                                                           : child(value, std::to_string(index));
}

std::size_t LocatedText::resolve(std::size_t from, const std::vector<std::string>& tokens) const {
  for (const std::string& token : tokens) from = child(from, token);
  return from;
}

std::string LocatedText::pointer(std::size_t value) const {
  std::vector<const std::string*> tokens;
  for (std::size_t at = value; at != kNoValue && values_[at].parent != kNoValue; at = values_[at].parent)
    tokens.push_back(&values_[at].token);
  std::string out;
  // NOLINTNEXTLINE(modernize-loop-convert): as above, no std::views::reverse
  for (auto it = tokens.rbegin(); it != tokens.rend(); ++it) {
    out += '/';
    out += escape_pointer_token(**it);
  }
  return out;
}

LocatedText::Place LocatedText::place_of(std::size_t offset) const {
  // Values are in document order, so among those that nest the later is the
  // inner one.
  for (std::size_t i = values_.size(); i-- > 0;)
    if (values_[i].end == offset && values_[i].start < offset) return {i, values_[i].start};
  for (std::size_t i = 0; i < values_.size(); ++i)
    if (values_[i].is_member() && values_[i].name_end == offset) return {i, values_[i].name_start};
  for (std::size_t i = 0; i < values_.size(); ++i)
    if (values_[i].start == offset) return {i, offset};
  for (std::size_t i = values_.size(); i-- > 0;) {
    const LocatedValue& v = values_[i];
    const std::size_t begin = v.is_member() ? v.name_start : v.start;
    if (begin <= offset && (v.end == kNoValue || offset < v.end)) return {i, offset, true};
  }
  return {kNoValue, offset, true};
}

std::string escape_pointer_token(std::string_view token) {
  std::string out;
  out.reserve(token.size());
  for (const char c : token) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace lantor::diagnose
