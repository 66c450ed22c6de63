#include "core/request/tagged_choice.h"

#include "core/base/large_buffer.h"
#include "core/json/canonical_stream.h"
#include "core/json/describe.h"
#include "core/json/parse.h"
#include "core/request/record.h"

namespace lantor::request {
namespace {

constexpr std::string_view kTag = "kind";

json::ReadResult<std::size_t> read_tag(json::Reader& r, const ChoiceNames& names) {
  int c = r.peek_ws();
  if (c < 0) return fail(r.peek_error(json::msg::kEofValue));
  if (c != '"') return fail(json::unexpected(r, "variant identifier"));
  std::string tag;
  LANTOR_TRY(r.read_string(tag));
  for (std::size_t i = 0; i < names.count; ++i)
    if (names.variants[i] == tag) return i;
  return fail(r.error(json::unknown_variant(tag, json::variant_list(names.variants, names.count))));
}

json::ReadResult<std::size_t> read_object_form(json::Reader& r, int depth, const ChoiceNames& names,
                                               SetAside& rest) {
  std::size_t variant = 0;
  bool have_tag = false;
  bool first = true;
  std::string name;
  for (;;) {
    json::ReadResult<bool> more = r.next_key(first, name);
    LANTOR_TRY(more);
    if (!*more) break;
    if (name == kTag) {
      if (have_tag) return fail(unplaced(json::duplicate_field(kTag)));
      LANTOR_TRY(r.colon());
      json::ReadResult<std::size_t> tag = read_tag(r, names);
      LANTOR_TRY(tag);
      variant = *tag;
      have_tag = true;
      continue;
    }
    LANTOR_TRY(r.colon());
    if (!rest.canonical_member.empty() && name == rest.canonical_member && r.peek_ws() == '[') {
      if (rest.sink != nullptr) {
        rest.sunk_offset = r.offset();
        rest.sunk_depth = depth;
        LANTOR_TRY(json::CanonicalStreamer(r).stream(depth, *rest.sink));
        rest.sunk_size = r.offset() - rest.sunk_offset;
      } else {
        // The canonical text is about as long as the rest of the command.
        if (!rest.captured) {
          rest.canonical.reserve(r.text().size() - r.offset());
          advise_huge_pages(rest.canonical.data(), rest.canonical.capacity());
        }
        LANTOR_TRY(json::CanonicalStreamer(r).read(depth, rest.canonical));
      }
      rest.captured = true;
      rest.members.emplace_back(std::move(name), json::Value::array({}));
      name.clear();
      continue;
    }
    json::ReadResult<json::Value> value = json::read_value(r, depth);
    LANTOR_TRY(value);
    rest.members.emplace_back(std::move(name), std::move(value).value());
    name.clear();
  }
  if (!have_tag) return fail(unplaced(json::missing_field(kTag)));
  return variant;
}

json::ReadResult<std::size_t> read_array_form(json::Reader& r, int depth, const ChoiceNames& names,
                                              SetAside& rest) {
  rest.array_form = true;
  bool first = true;
  json::ReadResult<bool> more = r.next_element(first);
  LANTOR_TRY(more);
  if (!*more) return fail(unplaced(json::missing_field(kTag)));
  json::ReadResult<std::size_t> tag = read_tag(r, names);
  LANTOR_TRY(tag);
  for (;;) {
    more = r.next_element(first);
    LANTOR_TRY(more);
    if (!*more) break;
    json::ReadResult<json::Value> value = json::read_value(r, depth);
    LANTOR_TRY(value);
    rest.elements.push_back(std::move(value).value());
  }
  return *tag;
}

}  // namespace

json::ReadResult<std::size_t> read_choice(json::Reader& r, int depth, const ChoiceNames& names,
                                          SetAside& rest) {
  int c = r.peek_ws();
  if (c == '{') {
    LANTOR_TRY(r.open(depth));
    json::ReadResult<std::size_t> v = read_object_form(r, depth + 1, names, rest);
    if (!v) return fail(place_after_object(r, std::move(v).error()));
    LANTOR_TRY(r.end_object());
    return v;
  }
  if (c == '[') {
    LANTOR_TRY(r.open(depth));
    json::ReadResult<std::size_t> v = read_array_form(r, depth + 1, names, rest);
    if (!v) return fail(place_after_array(r, std::move(v).error()));
    LANTOR_TRY(r.end_array());
    return v;
  }
  if (c < 0) return fail(r.peek_error(json::msg::kEofValue));
  return fail(json::unexpected(r, names.expected));
}

json::ReadStatus expect_no_members(const SetAside& rest) {
  if (rest.array_form && !rest.elements.empty())
    return fail(unplaced(json::invalid_length(rest.elements.size(), json::elements_in_sequence(0))));
  return Ok{};
}

json::ReadStatus take_member(SetAside& rest, std::string_view name, std::string_view counted,
                             bool (*accepts)(const json::Value&), std::string_view expected,
                             json::Value& out) {
  if (rest.array_form) {
    if (rest.elements.empty()) return fail(unplaced(json::invalid_length(0, counted)));
    json::Value& v = rest.elements.front();
    if (!accepts(v)) return fail(unplaced(json::invalid_type(json::describe(v), expected)));
    if (rest.elements.size() > 1)
      return fail(unplaced(json::invalid_length(rest.elements.size(), json::elements_in_sequence(1))));
    out = std::move(v);
    return Ok{};
  }
  bool found = false;
  for (auto& [member, value] : rest.members) {
    if (member != name) continue;
    if (found) return fail(unplaced(json::duplicate_field(name)));
    if (!accepts(value)) return fail(unplaced(json::invalid_type(json::describe(value), expected)));
    out = std::move(value);
    found = true;
  }
  if (!found) return fail(unplaced(json::missing_field(name)));
  return Ok{};
}

}  // namespace lantor::request
