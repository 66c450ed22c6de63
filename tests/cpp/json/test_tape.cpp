// The flat form of a value against the tree: read_tape must accept, reject
// and report exactly as read_value does, and hold the same value.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/json/canonical.h"
#include "core/json/describe.h"
#include "core/json/parse.h"
#include "core/json/reader.h"
#include "core/json/tape.h"
#include "core/json/tape_reader.h"
#include "tests/cpp/read_file.h"

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
  EXPECT_TRUE(value_from_tape(tape) == *tree) << text;
  EXPECT_TRUE(tape_from_value(*tree) == *tree) << text;
  EXPECT_EQ(canonical_json(tape), canonical_json(*tree)) << text;
  EXPECT_EQ(describe(tape.root()), describe(*tree)) << text;
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

TEST(Tape, RepeatedNamesKeepTheFirstPlaceAndTheLastValue) {
  std::string wide = "{";
  for (int i = 40; i >= 0; --i) wide += "\"m" + std::to_string(i % 30) + "\":" + std::to_string(i) + ",";
  wide.back() = '}';
  std::string wide_unique = "{";
  for (int i = 0; i < 40; ++i) wide_unique += "\"m" + std::to_string(i) + "\":[" + std::to_string(i) + "],";
  wide_unique.back() = '}';
  for (const std::string& text : {
           std::string(R"({"a":1,"b":2,"a":3})"),
           std::string(R"({"a":1,"b":{"y":1,"x":2,"y":[3]},"a":{"z":null}})"),
           std::string(R"([{"a":1},{"b":1,"b":2},{"c":{"d":{"e":1,"e":2}}}])"),
           std::string(R"({"\u0061":1,"a":2})"),
           wide,
           wide_unique,
           "[" + wide + "," + wide_unique + "]",
       }) {
    expect_same(text);
  }
}

TEST(Tape, AgreesWithTheTreeOnEveryCutAndChangeOfAStrategy) {
  // The first text is all the quick pass reads itself (ASCII without
  // escapes, plain numbers, distinct names); the second sends it to the
  // exact reader part-way.
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

TEST(Tape, AgreesWithTheTreeWhereTheQuickPassGivesUp) {
  for (const char* text : {
           // Repeats, among few members and among many.
           R"({"a":1,"a":2})", R"({"a":{"b":1,"b":[2]}})",
           R"({"a0":0,"a1":1,"a2":2,"a3":3,"a4":4,"a5":5,"a6":6,"a7":7,"a8":8,"a9":9,"b0":0,)"
           R"("b1":1,"b2":2,"b3":3,"b4":4,"b5":5,"b6":6,"b7":7,"a3":[]})",
           R"({"a0":0,"a1":1,"a2":2,"a3":3,"a4":4,"a5":5,"a6":6,"a7":7,"a8":8,"a9":9,"b0":0,)"
           R"("b1":1,"b2":2,"b3":3,"b4":4,"b5":5,"b6":6,"b7":7,"b8":[]})",
           // Numbers outside the plain shapes, and beside them.
           "[1e5,2]", "[-0,0]", "[1.50,0.000001,0.00001,12345678901234.5,-3.25,100]", "[1,007]",
           R"({"b":[1.50,{"d":-0,"c":0.10}],"a":{"y":2.0,"x":"s"}})", "[18446744073709551615,-9223372036854775808]",
           "[12345678901234567890]", "[0.1234567890123456789]", "[01]", "[1.]", "[-]",
           // Strings: escapes, non-ASCII, controls, a cut.
           R"(["a\"b"])", "[\"\xC3\xA9\"]", "[\"\xC3\"]", "[\"a\x01\"]", "[\"abcdefghijklmnop",
           // Literals cut or changed, and what may follow a value.
           "[tru]", "[nulL]", "[falsey]", "[true false]", R"({"a" :1 , "b":[ 1 , 2 ] })",
           "[1]x", R"({"a":1}})", "  [  ]  ",
       })
    expect_same(text);
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
  EXPECT_EQ(canonical_json(tape), "null");
}

}  // namespace
}  // namespace lantor::json
