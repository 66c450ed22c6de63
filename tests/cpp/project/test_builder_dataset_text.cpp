// A plan built from a request whose dataset was read as canonical text
// (DatasetForm::Text, moved into the builder) equals the plan built from the
// same request read as a tree.
#include <gtest/gtest.h>

#include <string>

#include "core/project/plan.h"
#include "core/request/request.h"
#include "project_test_support.h"

namespace lantor {
namespace {

using project_testing::kStrategy;

TEST(BuildProjectDatasetText, SamePlanAsFromTheTree) {
  for (const char* extra : {
           R"(,"embed_data":{"kind":"inline","candles":[{"t":1,"c":-0,"o":1e16},[0.1,"\u0001"]]})",
           R"(,"embed_data":{"candles":[],"kind":"inline"},"crate_name":"z","opt_level":"size")",
           R"(,"embed_data":["inline",[{"b":1,"a":2}]])",
       }) {
    std::string text = "{\"cmd\":\"compile\",\"spec\":{\"strategy\":" + std::string(kStrategy) +
                       ",\"target\":{\"kind\":\"wasm\"}" + extra + "}}";
    Result<CompileReq> tree = read_compile_req(text);
    Result<CompileReq> flat = read_compile_req(text, DatasetForm::Text);
    ASSERT_TRUE(tree.ok() && flat.ok()) << text;
    auto a = build_project(tree->spec);
    // Built twice from the const spec, then once moving the text out of it.
    auto b = build_project(flat->spec);
    auto c = build_project(std::move(flat->spec));
    ASSERT_TRUE(a.ok() && b.ok() && c.ok()) << text;
    for (const auto* other : {&*b, &*c}) {
      EXPECT_EQ(a->contents, other->contents) << text;
      EXPECT_EQ(a->spec_hash, other->spec_hash) << text;
      EXPECT_EQ(a->project_hash, other->project_hash) << text;
      ASSERT_EQ(a->files.size(), other->files.size());
      for (std::size_t i = 0; i < a->files.size(); ++i) EXPECT_EQ(a->files[i].sha256, other->files[i].sha256);
    }
  }
}

}  // namespace
}  // namespace lantor
