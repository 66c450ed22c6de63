// Reading an inline dataset straight into canonical text (DatasetForm::Text)
// against reading it as a tree: the same canonical text and the same errors.
#include <gtest/gtest.h>

#include <string>

#include "core/json/canonical.h"
#include "core/request/request.h"

namespace lantor {
namespace {

std::string command(const std::string& embed_data) {
  return R"({"cmd":"compile","spec":{"strategy":{"symbol":"X"},"target":{"kind":"wasm"},"embed_data":)" +
         embed_data + R"(},"dry_run":true})";
}

void expect_same(const std::string& text) {
  Result<CompileReq> tree = read_compile_req(text);
  Result<CompileReq> flat = read_compile_req(text, DatasetForm::Text);
  ASSERT_EQ(tree.ok(), flat.ok()) << text;
  if (!tree.ok()) {
    EXPECT_EQ(tree.error(), flat.error()) << text;
    return;
  }
  ASSERT_EQ(tree->spec.embed_data.has_value(), flat->spec.embed_data.has_value()) << text;
  if (!tree->spec.embed_data || tree->spec.embed_data->kind != DatasetRef::Kind::Inline) return;
  EXPECT_FALSE(tree->spec.embed_data->candles_json.has_value());
  std::string expected = json::canonical_json(tree->spec.embed_data->candles);
  const DatasetRef& data = *flat->spec.embed_data;
  std::string got = data.candles_json ? *data.candles_json : json::canonical_json(data.candles);
  EXPECT_EQ(expected, got) << text;
}

TEST(DatasetText, ObjectFormGivesTheCanonicalText) {
  Result<CompileReq> r = read_compile_req(
      command(R"({"candles":[{"t":1,"o":1.50,"c":-0},[1E2,"\u00e9"]],"kind":"inline"})"), DatasetForm::Text);
  ASSERT_TRUE(r.ok()) << r.error();
  ASSERT_TRUE(r->spec.embed_data->candles_json.has_value());
  EXPECT_EQ(*r->spec.embed_data->candles_json, "[{\"c\":-0.0,\"o\":1.5,\"t\":1},[100.0,\"\xC3\xA9\"]]");
}

TEST(DatasetText, AgreesWithTheTree) {
  for (const char* data : {
           R"({"kind":"inline","candles":[]})",
           R"({"kind":"inline","candles":[{"t":1700000000000,"o":42000.5,"h":42010.25,"l":41990.0,"c":42001.75,"v":12.345}]})",
           R"({"candles":[[1,2],{"b":1,"a":2,"b":3}],"kind":"inline","other":[1]})",
           R"(["inline",[1,2,{"b":1,"a":2}]])",
           R"({"kind":"csv","path":"x.csv"})",
           R"({"kind":"csv","path":"x.csv","candles":[1,2]})",
           // Errors: inside the array, after it, and in the choice around it.
           R"({"kind":"inline","candles":[1,2,]})",
           R"({"kind":"inline","candles":[1,{"a":tru}]})",
           R"({"kind":"inline","candles":[1e400]})",
           R"({"kind":"inline","candles":["\ud800"]})",
           R"({"kind":"inline","candles":[1],"candles":[2]})",
           R"({"kind":"inline","candles":{},"candles":[2]})",
           R"({"kind":"inline","candles":[2],"candles":{}})",
           R"({"kind":"inline","candles":"x"})",
           R"({"kind":"inline"})",
           R"({"candles":[1,2]})",
           R"({"candles":[1,2],"kind":"nope"})",
           R"({"kind":"inline","candles":[1] )",
       })
    expect_same(command(data));
}

TEST(DatasetText, KeepsTheNestingLimit) {
  // The dataset's array sits at level 4 of the command.
  for (int levels : {120, 123, 124, 125}) {
    std::string arrays = std::string(static_cast<std::size_t>(levels), '[') +
                         std::string(static_cast<std::size_t>(levels), ']');
    expect_same(command(R"({"kind":"inline","candles":)" + arrays + "}"));
  }
}

}  // namespace
}  // namespace lantor
