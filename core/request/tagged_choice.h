// Tagged choices read from text: an object whose member "kind" names the
// variant, or an array whose first element does. The other members (or
// elements) are set aside as values while the choice is read, and only then
// read as the variant's own members, so errors in them are unplaced.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "core/json/reader.h"
#include "core/json/value.h"

namespace lantor::request {

struct ChoiceNames {
  std::string_view expected;  // "internally tagged enum Target"
  const std::string_view* variants;
  std::size_t count;
};

struct SetAside {
  bool array_form = false;
  std::vector<std::pair<std::string, json::Value>> members;  // object form
  std::vector<json::Value> elements;                         // array form, after the tag
  // When set, an array under this member name (object form) is read straight
  // into its canonical text, `canonical`, and stands among `members` as an
  // empty array, so that checking it and finding repeats work as usual.
  std::string_view canonical_member;
  std::string canonical;
  bool captured = false;
  // When set as well, that array's canonical text goes to `sink` instead,
  // and where the array lay is noted: its offset and size in the text, and
  // the levels open around it.
  json::TextSink* sink = nullptr;
  std::size_t sunk_offset = 0;
  std::size_t sunk_size = 0;
  int sunk_depth = 0;
};

// Reads the choice; returns the index of its variant.
json::ReadResult<std::size_t> read_choice(json::Reader& r, int depth, const ChoiceNames& names,
                                          SetAside& rest);

// For a variant without members: an array form may carry nothing more.
json::ReadStatus expect_no_members(const SetAside& rest);

// For a variant with one member `name`: finds it among the set-aside values,
// checks it with `accepts` (else "invalid type: ..., expected {expected}")
// and moves it out. `counted` names the variant for a too-short array form.
json::ReadStatus take_member(SetAside& rest, std::string_view name, std::string_view counted,
                             bool (*accepts)(const json::Value&), std::string_view expected,
                             json::Value& out);

}  // namespace lantor::request
