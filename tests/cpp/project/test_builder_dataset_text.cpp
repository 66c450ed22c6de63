// An inline dataset hashed as it was read (a dry run keeps no text of it)
// gives the plan the same manifest as its text kept and moved into the
// builder, or copied from a spec that keeps it.
#include <gtest/gtest.h>

#include <string>

#include "core/project/plan.h"
#include "core/request/request.h"
#include "project_test_support.h"

namespace lantor {
namespace {

using project_testing::kStrategy;

TEST(BuildProjectDatasetText, HashedAsReadOrKeptTheManifestIsTheSame) {
  // Whether a dry run keeps only the digests: not when the crate is named
  // after the dataset, which the digest of the spec hash could not know of.
  const std::pair<const char*, bool> cases[] = {
      {R"(,"embed_data":{"kind":"inline","candles":[{"t":1,"c":-0,"o":1e16},[0.1,"\u0001"]]})", true},
      {R"(,"embed_data":{"candles":[],"kind":"inline"},"crate_name":"z","opt_level":"size")", false},
      {R"(,"crate_name":"z","embed_data":{"candles":[],"kind":"inline"},"opt_level":"size")", true},
      {R"(,"embed_data":["inline",[{"b":1,"a":2}]])", true},
  };
  for (const auto& [extra, hashed_only] : cases) {
    const std::string spec =
        "{\"strategy\":" + std::string(kStrategy) + ",\"target\":{\"kind\":\"wasm\"}" + extra + "}";
    json::ReadResult<CompileReq> kept = read_compile_req("{\"cmd\":\"compile\",\"spec\":" + spec + "}");
    json::ReadResult<CompileReq> hashed =
        read_compile_req("{\"cmd\":\"compile\",\"spec\":" + spec + ",\"dry_run\":true}");
    ASSERT_TRUE(kept.ok() && hashed.ok()) << extra;
    ASSERT_TRUE(kept->spec.embed_data->candles_json.has_value());
    auto a = build_project(hashed->spec);
    // Built from the const spec, then once moving the text out of it.
    auto b = build_project(kept->spec);
    auto c = build_project(std::move(kept->spec));
    ASSERT_TRUE(a.ok() && b.ok() && c.ok()) << extra;
    EXPECT_EQ(a->complete, !hashed_only) << extra;
    EXPECT_TRUE(b->complete && c->complete);
    EXPECT_EQ(b->contents, c->contents);
    for (const auto* other : {&*b, &*c}) {
      EXPECT_EQ(a->spec_hash, other->spec_hash) << extra;
      EXPECT_EQ(a->project_hash, other->project_hash) << extra;
      ASSERT_EQ(a->files.size(), other->files.size());
      for (std::size_t i = 0; i < a->files.size(); ++i) {
        EXPECT_EQ(a->files[i].path, other->files[i].path);
        EXPECT_EQ(a->files[i].sha256, other->files[i].sha256);
        EXPECT_EQ(a->files[i].bytes_len, other->files[i].bytes_len);
      }
    }
  }
}

}  // namespace
}  // namespace lantor
