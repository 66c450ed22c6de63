// Objects of many members, with repeated names and wide objects nested in
// each other's values, and readers that are alive at the same time: the
// members come out in first-seen order with the last value of each name.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/json/canonical.h"
#include "core/json/parse.h"
#include "core/json/reader.h"

namespace lantor::json {
namespace {

// The expected members of an object written from (name, value text) pairs.
std::vector<std::pair<std::string, std::string>> expected_members(
    const std::vector<std::pair<std::string, std::string>>& written) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& [name, value] : written) {
    bool found = false;
    for (auto& m : out) {
      if (m.first == name) {
        m.second = value;
        found = true;
      }
    }
    if (!found) out.emplace_back(name, value);
  }
  return out;
}

std::string object_text(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string text = "{";
  for (const auto& [name, value] : members) {
    if (text.size() > 1) text += ',';
    text += "\"" + name + "\":" + value;
  }
  return text + "}";
}

void expect_members(const Value& v, const std::vector<std::pair<std::string, std::string>>& want) {
  ASSERT_TRUE(v.is_object());
  const Object& o = v.as_object();
  ASSERT_EQ(o.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(o[i].name, want[i].first) << i;
    EXPECT_EQ(canonical_json(o[i].value), want[i].second) << want[i].first;
    const Value* found = o.find(want[i].first);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, &o[i].value);
  }
}

TEST(WideObjects, RepeatsKeepFirstPlaceAndLastValue) {
  for (int width : {15, 16, 17, 40, 300, 5000}) {
    std::vector<std::pair<std::string, std::string>> written;
    for (int i = 0; i < width; ++i) {
      written.emplace_back("m" + std::to_string(i), std::to_string(i));
      // Repeat an earlier name now and then, before and after the switch
      // to the table.
      if (i % 7 == 3) written.emplace_back("m" + std::to_string(i / 2), "\"again" + std::to_string(i) + "\"");
    }
    written.emplace_back("m0", "true");
    Result<Value> v = parse_json(object_text(written));
    ASSERT_TRUE(v.ok()) << v.error();
    expect_members(*v, expected_members(written));
  }
}

TEST(WideObjects, WideValuesInsideWideObjects) {
  std::vector<std::pair<std::string, std::string>> inner;
  for (int i = 0; i < 50; ++i) inner.emplace_back("i" + std::to_string(i % 45), std::to_string(i));
  std::vector<std::pair<std::string, std::string>> outer;
  for (int i = 0; i < 60; ++i) {
    outer.emplace_back("o" + std::to_string(i % 55), i % 10 == 5 ? object_text(inner) : std::to_string(i));
  }
  Result<Value> v = parse_json(object_text(outer));
  ASSERT_TRUE(v.ok()) << v.error();
  const auto want = expected_members(outer);
  ASSERT_EQ(v->as_object().size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    const Member& m = v->as_object()[i];
    EXPECT_EQ(m.name, want[i].first);
    if (m.value.is_object()) expect_members(m.value, [&] {
      auto members = expected_members(inner);
      for (auto& [name, text] : members) text = canonical_json(*parse_json(text));
      return members;
    }());
  }
}

TEST(WideObjects, ReadersAliveAtTheSameTime) {
  std::string wide = "{";
  for (int i = 0; i < 30; ++i) wide += (i ? ",\"k" : "\"k") + std::to_string(i % 20) + "\":" + std::to_string(i);
  wide += "}";
  std::string text = "[" + wide + "," + wide + "]";
  Reader first(text);
  ASSERT_EQ(first.peek_ws(), '[');
  first.bump();
  ReadResult<Value> a = read_value(first, 1);
  ASSERT_TRUE(a.ok());
  {
    // A second reader while the first is still reading.
    Reader second(wide);
    ReadResult<Value> b = read_value(second, 0);
    ASSERT_TRUE(b.ok());
    EXPECT_TRUE(*a == *b);
  }
  ASSERT_EQ(first.peek_ws(), ',');
  first.bump();
  ReadResult<Value> c = read_value(first, 1);
  ASSERT_TRUE(c.ok());
  EXPECT_TRUE(*a == *c);
  EXPECT_EQ(c->as_object().size(), 20u);
  EXPECT_EQ(canonical_json(c->as_object()[0].value), "20");
}

}  // namespace
}  // namespace lantor::json
