// The tape reader against the reference tree: read_tape must accept, reject
// and report exactly as the plain reader does, hold the same value (a
// repeated name settled in the first one's place with the last value), and
// keep the same canonical text as the reference writer makes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/json/reader.h"
#include "core/json/tape.h"
#include "core/json/tape_reader.h"
#include "tests/cpp/read_file.h"
#include "tests/support/json_reference.h"

namespace lantor::json {
namespace {

void expect_same(std::string_view text, int depth = 0) {
  Reader tree_reader(text);
  ReadResult<Value> tree = read_value(tree_reader, depth);
  Reader tape_reader(text);
  Tape tape;
  ReadStatus flat = read_tape(tape_reader, depth, tape);
  ASSERT_EQ(tree.ok(), flat.ok()) << text;
  if (!tree.ok()) {
    EXPECT_EQ(tree.error().message, flat.error().message) << text;
    EXPECT_EQ(tree.error().offset, flat.error().offset) << text;
    EXPECT_EQ(tree.error().not_json, flat.error().not_json) << text;
    return;
  }
  EXPECT_EQ(tree_reader.offset(), tape_reader.offset()) << text;
  EXPECT_TRUE(tape == *tree) << text;
  EXPECT_EQ(tape.canonical_text(), canonical_json(*tree)) << text;
}

TEST(Tape, AgreesWithTheTreeOnTheJsonTestSuite) {
  const std::filesystem::path dir =
      std::filesystem::path(LANTOR_TEST_DATA_DIR) / "jsontestsuite" / "test_parsing";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string text = testing::read_file(entry.path());
    expect_same(text);
    expect_same(text, 120);
    ++files;
  }
  EXPECT_GT(files, 300);
}

// An object written from (name, value text) pairs.
std::string object_text(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string text = "{";
  for (const auto& [name, value] : members) {
    if (text.size() > 1) text += ',';
    text += "\"" + name + "\":" + value;
  }
  return text + "}";
}

TEST(Tape, RepeatedNamesKeepTheFirstPlaceAndTheLastValue) {
  for (const std::string& text : {
           std::string(R"({"a":1,"b":2,"a":3})"),
           std::string(R"({"a":1,"b":{"y":1,"x":2,"y":[3]},"a":{"z":null}})"),
           std::string(R"([{"a":1},{"b":1,"b":2},{"c":{"d":{"e":1,"e":2}}}])"),
           std::string(R"({"\u0061":1,"a":2})"),
           std::string(R"({"b":[1,{"c":1,"c":2}],"a":0,"b":{"d":[true]}})"),
       }) {
    expect_same(text);
  }
  // Wide objects, with names repeated now and then, before and after the
  // sort gets large, and wide values inside wide objects.
  for (int width : {15, 16, 17, 40, 300, 5000}) {
    std::vector<std::pair<std::string, std::string>> members;
    for (int i = 0; i < width; ++i) {
      members.emplace_back("m" + std::to_string(i), std::to_string(i));
      if (i % 7 == 3) members.emplace_back("m" + std::to_string(i / 2), "\"again" + std::to_string(i) + "\"");
    }
    members.emplace_back("m0", "true");
    expect_same(object_text(members));
  }
  std::vector<std::pair<std::string, std::string>> inner;
  for (int i = 0; i < 50; ++i) inner.emplace_back("i" + std::to_string(i % 45), std::to_string(i));
  std::vector<std::pair<std::string, std::string>> outer;
  for (int i = 0; i < 60; ++i)
    outer.emplace_back("o" + std::to_string(i % 55), i % 10 == 5 ? object_text(inner) : std::to_string(i));
  expect_same(object_text(outer));
  expect_same("[" + object_text(inner) + "," + object_text(outer) + "]");
}

TEST(Tape, RowsOfChangingSizesKeepTheirOwnMembers) {
  expect_same(R"([{"a":1,"b":2,"c":3,"d":4,"e":5},{"x":1},{"p":1,"q":2,"r":3,"s":4,"t":5,"u":6,"v":7},)"
              R"({"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7},{},{"k":"v","k":"w"},{"m":[1,[2,3],[]]}])");
  // A large document grows every buffer of the reader many times over.
  std::string rows = "[";
  for (int i = 0; i < 5000; ++i) {
    if (i) rows += ",";
    rows += "{\"z\":" + std::to_string(i) + ",\"a\":\"row \\n" + std::to_string(i) + "\",\"t\":[true,1.50]}";
  }
  expect_same(rows + "]");
}

TEST(Tape, AgreesWithTheTreeOnEveryCutAndChangeOfAStrategy) {
  // The first text holds only what the reader takes inline (ASCII without
  // escapes, plain numbers, distinct names); the second also what it takes
  // out of line.
  for (const std::string text : {
           R"({"symbol":"BTC/USDT","timeframe":"1h","indicators":{"e":{"type":"ema","params":[20]}},)"
           R"( "entry":{"all":[{"gt":["e",-1.5]},{"not":{"in_position":true}},{"lt":[0,12.25]}]},)"
           "\n\t\r"
           R"("exit":{"any":[]},"sizing":["fixed_qty",2],"warmup":null,"risk":{},"x":[[],{},false]})",
           R"({"symbol":"BTC/USDT","timeframe":"1h","indicators":{"e":{"type":"ema","params":[20]}},)"
           R"("entry":{"all":[{"gt":["e",-1.5e3]},{"not":{"in_position":true}}]},"exit":"x\u00e9\n",)"
           R"("sizing":["fixed_qty",2],"warmup":null,"risk":{},"x":[[],{}]})",
       }) {
    for (std::size_t n = 0; n <= text.size(); ++n) expect_same(text.substr(0, n));
    const std::string replacements = "{}[]\",:\\ 0-.eatnx\x01\x80";
    for (std::size_t i = 0; i < text.size(); ++i) {
      for (char c : replacements) {
        std::string changed = text;
        changed[i] = c;
        expect_same(changed);
      }
    }
  }
}

TEST(Tape, AgreesWithTheTreeOnUnusualTexts) {
  for (const char* text : {
           // Repeats, among few members and among many.
           R"({"a":1,"a":2})",
           R"({"a":{"b":1,"b":[2]}})",
           R"({"a0":0,"a1":1,"a2":2,"a3":3,"a4":4,"a5":5,"a6":6,"a7":7,"a8":8,"a9":9,"b0":0,)"
           R"("b1":1,"b2":2,"b3":3,"b4":4,"b5":5,"b6":6,"b7":7,"a3":[]})",
           R"({"a0":0,"a1":1,"a2":2,"a3":3,"a4":4,"a5":5,"a6":6,"a7":7,"a8":8,"a9":9,"b0":0,)"
           R"("b1":1,"b2":2,"b3":3,"b4":4,"b5":5,"b6":6,"b7":7,"b8":[]})",
           // Names ordered beyond their first eight bytes: shared heads,
           // prefixes, a zero byte against the end, bytes above 0x7F.
           R"({"indicator_b":1,"indicator_a":2,"indicato":3,"indicator":4,"":5,"indicator_a":6})",
           R"({"ab\u0000":1,"ab":2,"a":3,"ab\u0000c":4,"abcdefgh\u0000":5,"abcdefgh":6})",
           "{\"\xC3\xA9\":1,\"z\":2,\"\x7F\":3,\"e\":4,\"\xC3\xA8x\":5}",
           // Numbers outside the plain shapes, and beside them.
           "[1e5,2]",
           "[-0,0]",
           "[1.50,0.000001,0.00001,12345678901234.5,-3.25,100]",
           "[1,007]",
           R"({"b":[1.50,{"d":-0,"c":0.10}],"a":{"y":2.0,"x":"s"}})",
           "[18446744073709551615,-9223372036854775808]",
           "[12345678901234567890]",
           "[0.1234567890123456789]",
           "[01]",
           "[1.]",
           "[-]",
           // Strings: escapes, non-ASCII, controls, a cut.
           R"(["a\"b"])",
           "[\"\xC3\xA9\"]",
           "[\"\xC3\"]",
           "[\"a\x01\"]",
           "[\"abcdefghijklmnop",
           // Literals cut or changed, and what may follow a value.
           "[tru]",
           "[nulL]",
           "[falsey]",
           "[true false]",
           R"({"a" :1 , "b":[ 1 , 2 ] })",
           "[1]x",
           R"({"a":1}})",
           "  [  ]  ",
       })
    expect_same(text);
}

TEST(Tape, OrdersManyNamesWithOneHead) {
  // Past the size where the sort leaves insertion, names whose first eight
  // bytes are the same, some repeated.
  std::vector<std::pair<std::string, std::string>> members;
  for (int i = 0; i < 45; ++i)
    members.emplace_back("shared_head_" + std::to_string(i * 7 % 40), std::to_string(i));
  expect_same(object_text(members));
}

TEST(Tape, KeepsTheNestingLimit) {
  for (int levels : {kMaxDepth - 1, kMaxDepth, kMaxDepth + 1}) {
    std::string arrays = std::string(static_cast<std::size_t>(levels), '[') +
                         std::string(static_cast<std::size_t>(levels), ']');
    expect_same(arrays);
    expect_same(arrays, 3);
  }
}

TEST(Tape, NodesWalkTheValue) {
  auto v = parse_json(R"({"a":[1,-2,2.5,"s",null,true,[],{}],"b":{"c":{"d":"e"}},"":0})");
  ASSERT_TRUE(v.ok());
  const Tape tape = tape_from_value(*v);
  const Node root = tape.root();
  ASSERT_TRUE(root.is_object());
  EXPECT_EQ(root.size(), 3u);
  EXPECT_EQ(root.members().front().name, "a");
  EXPECT_FALSE(root.find("z").has_value());
  ASSERT_TRUE(root.find("").has_value());
  EXPECT_EQ(root.find("")->as_uint(), 0u);
  EXPECT_EQ(root.find("b")->find("c")->find("d")->as_string(), "e");

  const Elements a = root.find("a")->elements();
  ASSERT_EQ(a.size(), 8u);
  std::string kinds;
  for (Node e : a) kinds += std::to_string(static_cast<int>(e.kind()));
  EXPECT_EQ(kinds, "23450167");
  EXPECT_EQ(a.front().to_double(), 1.0);
  const Elements rest = a.rest();
  EXPECT_EQ(rest.size(), 7u);
  EXPECT_EQ(rest.front().as_negint(), -2);
  std::size_t walked = 0;
  for (Node e : rest) {
    (void)e;
    ++walked;
  }
  EXPECT_EQ(walked, 7u);

  std::string names;
  for (MemberRef m : root.members()) names += "[" + std::string(m.name) + "]";
  EXPECT_EQ(names, "[a][b][]");
}

TEST(Tape, ADefaultTapeHoldsNull) {
  const Tape tape;
  EXPECT_TRUE(tape.root().is_null());
  EXPECT_TRUE(tape == Value());
  EXPECT_EQ(tape.canonical_text(), "null");
}

TEST(Tape, TheReferenceBridgeKeepsMemberOrder) {
  auto v = parse_json(R"({"b":[1,{"y":2,"x":null}],"a":"s"})");
  ASSERT_TRUE(v.ok());
  EXPECT_TRUE(tape_from_value(*v) == *v);
  EXPECT_TRUE(value_from_tape(tape_from_value(*v)) == *v);
}

}  // namespace
}  // namespace lantor::json
