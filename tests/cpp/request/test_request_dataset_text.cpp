// An inline dataset is never held as values: its canonical text is hashed as
// it is read, and read again into text only when the request needs it. Both
// give exactly what the reference writer makes of the array, and a dataset
// that does not read fails with the texts and places of any other value.
#include <gtest/gtest.h>

#include <string>

#include "core/base/sha256.h"
#include "core/request/request.h"
#include "tests/support/json_reference.h"

namespace lantor {
namespace {

std::string command(const std::string& embed_data, const std::string& tail = R"(,"dry_run":true})") {
  return R"({"cmd":"compile","spec":{"strategy":{"symbol":"X"},"target":{"kind":"wasm"},"embed_data":)" +
         embed_data + "}" + tail;
}

TEST(DatasetText, DigestsAndKeptTextAreTheReferenceCanonicalText) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"kind":"inline","candles":[]})", "[]"},
      {R"({"kind":"inline","candles":[{"t":1700000000000,"o":42000.5,"h":42010.25,"l":41990.0,"c":42001.75,"v":12.345}]})",
       R"([{"t":1700000000000,"o":42000.5,"h":42010.25,"l":41990.0,"c":42001.75,"v":12.345}])"},
      {R"({"candles":[[1,2],{"b":1,"a":2,"b":3}],"kind":"inline","other":[1]})",
       R"([[1,2],{"b":1,"a":2,"b":3}])"},
      {R"({"candles":[{"t":1,"o":1.50,"c":-0},[1E2,"\u00e9"]],"kind":"inline"})",
       R"([{"t":1,"o":1.50,"c":-0},[1E2,"\u00e9"]])"},
      {R"(["inline",[1,2,{"b":1,"a":2}]])", R"([1,2,{"b":1,"a":2}])"},
  };
  for (const auto& [data, candles] : cases) {
    const std::string expected = json::canonical_json(*json::parse_json(candles));
    json::ReadResult<CompileReq> dry = read_compile_req(command(data));
    ASSERT_TRUE(dry.ok()) << data << ": " << dry.error().message;
    ASSERT_TRUE(dry->spec.embed_data->streamed.has_value()) << data;
    EXPECT_FALSE(dry->spec.embed_data->candles_json.has_value()) << data;
    EXPECT_EQ(dry->spec.embed_data->streamed->canonical_sha256, sha256_hex(expected)) << data;
    EXPECT_EQ(dry->spec.embed_data->streamed->canonical_len, expected.size()) << data;

    json::ReadResult<CompileReq> built = read_compile_req(command(data, "}"));
    ASSERT_TRUE(built.ok()) << data;
    ASSERT_TRUE(built->spec.embed_data->candles_json.has_value()) << data;
    EXPECT_FALSE(built->spec.embed_data->streamed.has_value()) << data;
    EXPECT_EQ(*built->spec.embed_data->candles_json, expected) << data;
  }
}

TEST(DatasetText, FailuresAreThoseOfAnyValue) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"kind":"inline","candles":[1,2,]})", "trailing comma at line 1 column 122"},
      {R"({"kind":"inline","candles":[1,{"a":tru}]})", "expected ident at line 1 column 128"},
      {R"({"kind":"inline","candles":[1e400]})", "number out of range at line 1 column 122"},
      {R"({"kind":"inline","candles":["\ud800"]})", "unexpected end of hex escape at line 1 column 125"},
      {R"({"kind":"inline","candles":[1],"candles":[2]})", "duplicate field `candles` at line 1 column 135"},
      {R"({"kind":"inline","candles":{},"candles":[2]})",
       "invalid type: map, expected a sequence at line 1 column 134"},
      {R"({"kind":"inline","candles":[2],"candles":{}})", "duplicate field `candles` at line 1 column 134"},
      {R"({"kind":"inline","candles":"x"})",
       "invalid type: string \"x\", expected a sequence at line 1 column 121"},
      {R"({"kind":"inline"})", "missing field `candles` at line 1 column 107"},
      {R"({"candles":[1,2]})", "missing field `kind` at line 1 column 106"},
      {R"({"candles":[1,2],"kind":"nope"})",
       "unknown variant `nope`, expected `csv` or `inline` at line 1 column 119"},
      {R"({"kind":"inline","candles":[1] )", "EOF while parsing an object at line 1 column 137"},
      {R"(["inline",[1,2,]])", "trailing comma at line 1 column 105"},
      {R"(["inline",[1],2])", "invalid length 2, expected 1 element in sequence at line 1 column 106"},
      {R"(["inline"])",
       "invalid length 0, expected struct variant DatasetRef::Inline with 1 element at line 1 column 100"},
      {R"(["csv",[1]])", "invalid type: sequence, expected a string at line 1 column 101"},
  };
  for (const auto& [data, error] : cases) {
    json::ReadResult<CompileReq> r = read_compile_req(command(data));
    ASSERT_FALSE(r.ok()) << data;
    EXPECT_EQ(json::positioned(command(data), r.error()), error) << data;
  }
}

TEST(DatasetText, KeepsTheNestingLimit) {
  // The dataset's array sits at level 4 of the command.
  auto arrays = [](int levels) {
    return std::string(static_cast<std::size_t>(levels), '[') +
           std::string(static_cast<std::size_t>(levels), ']');
  };
  EXPECT_TRUE(read_compile_req(command(R"({"kind":"inline","candles":)" + arrays(124) + "}")).ok());
  const std::string text = command(R"({"kind":"inline","candles":)" + arrays(125) + "}");
  json::ReadResult<CompileReq> deeper = read_compile_req(text);
  ASSERT_FALSE(deeper.ok());
  EXPECT_EQ(json::positioned(text, deeper.error()), "recursion limit exceeded at line 1 column 241");
}

}  // namespace
}  // namespace lantor
