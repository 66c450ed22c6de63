// Texts that fuzzing once answered wrongly, and their siblings, with the
// whole response each must get by either route: the one-pass compile read
// and the envelope check followed by the body reader.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "core/dispatch/dispatch.h"

namespace lantor {
namespace {

struct Case {
  std::string text;
  std::string response;
};

std::string compile_error(const std::string& text) {
  return R"({"ok":false,"error":"bad compile request: )" + text + R"("})";
}

constexpr const char* kEnvelopeError =
    R"({"ok":false,"error":"invalid command envelope: expected {\"cmd\":...}"})";

template <std::size_t N>
void expect_answers(const Case (&cases)[N]) {
  for (const Case& c : cases) {
    CommandState one, two;
    EXPECT_EQ(dispatch(c.text, one), c.response) << c.text;
    EXPECT_EQ(dispatch_in_two_passes(c.text, two), c.response) << c.text;
  }
}

// A valid text whose body fails where the reader wanted a level's name is
// the body's error, not a broken envelope.
TEST(FoundByFuzzing, AnEmptyObjectWhereALevelIsNamedIsValidJson) {
  const Case cases[] = {
      {R"({"cmd":"compile","spec":{"opt_level":{}}})", compile_error("expected value at line 1 column 39")},
      {R"({"cmd":"compile","spec":{"opt_level":{},"target":{"kind":"wasm"}}})",
       compile_error("expected value at line 1 column 39")},
      {R"({"cmd":"compile","spec":{"ort_level":"size","opt_level":{},"target":{"kind":"wasm"}}})",
       compile_error("expected value at line 1 column 58")},
      {"{\"cmd\":\"compile\",\"spec\":{\"opt_level\":{ \n }}}",
       compile_error("expected value at line 2 column 2")},
      // Not JSON: no reading survives.
      {R"({"cmd":"compile","spec":{"opt_level":{,}}})", kEnvelopeError},
      {R"({"cmd":"compile","spec":{"opt_level":{]}}})", kEnvelopeError},
  };
  expect_answers(cases);
}

// A repeated member is placed just past its name, whatever follows it.
TEST(FoundByFuzzing, ARepeatedMemberIsPlacedPastItsName) {
  const Case cases[] = {
      {"{\"cmd\":\"artifact_bytes\",\"path\":\"a\",\"path\"\n:\"b\"}",
       R"({"ok":false,"error":"bad artifact_bytes request: duplicate field `path` at line 1 column 41"})"},
      {R"({"cmd":"compile","spec":{"strategy":1,"strategy" :2}})",
       compile_error("duplicate field `strategy` at line 1 column 48")},
      {"{\"cmd\":\"compile\",\"spec\":{\"strategy\":{},\"target\":{\"kind\":\"wasm\",\"kind\"\t:\"x\"}}}",
       compile_error("duplicate field `kind` at line 1 column 69")},
  };
  expect_answers(cases);
}

// A failure in what a tagged choice set aside is placed just past the
// choice, or past its object's closing brace when the choice ends it.
TEST(FoundByFuzzing, AChoiceIsPlacedPastItsClosingBracket) {
  const Case cases[] = {
      {"{\"cmd\":\"compile\",\"spec\":{\"target\":[\"wasm\",1]\n,\"strategy\":1}}",
       compile_error("invalid length 1, expected 0 elements in sequence at line 1 column 44")},
      {R"({"cmd":"compile","spec":[1,{"kind":"no_std"} , "size"]})",
       compile_error("missing field `mcu` at line 1 column 44")},
      {R"({"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},"embed_data":{"kind":"csv"} ,"crate_name":null}})",
       compile_error("missing field `path` at line 1 column 91")},
      {R"({"cmd":"compile","spec":{"strategy":{},"target":["wasm",1] }})",
       compile_error("invalid length 1, expected 0 elements in sequence at line 1 column 60")},
  };
  expect_answers(cases);
}

}  // namespace
}  // namespace lantor
