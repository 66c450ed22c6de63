// Accepted bodies, defaults, nesting and the JSON test suite through the
// request readers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/base/sha256.h"
#include "core/request/envelope.h"
#include "core/request/request.h"
#include "read_file.h"
#include "tests/support/json_reference.h"

namespace lantor {
namespace {

std::string with_strategy(const std::string& strategy, const std::string& spec_members = "") {
  return R"({"cmd":"compile","spec":{"strategy":)" + strategy + R"(,"target":{"kind":"wasm"})" +
         spec_members + R"(},"dry_run":true})";
}

CompileReq read_ok(const std::string& text) {
  json::ReadResult<CompileReq> r = read_compile_req(text);
  EXPECT_TRUE(r.ok()) << text << "\n" << (r.ok() ? "" : r.error().message);
  return r.ok() ? std::move(r).value() : CompileReq{};
}

TEST(CompileReqRead, DefaultsAndNullAsAbsent) {
  CompileReq a = read_ok(R"({"cmd":"compile","spec":{"strategy":{"x":[1]},"target":{"kind":"wasm"}}})");
  EXPECT_FALSE(a.dry_run);
  EXPECT_FALSE(a.out_dir);
  EXPECT_EQ(a.spec.opt_level, OptLevel::Release);
  EXPECT_FALSE(a.spec.embed_data);
  EXPECT_FALSE(a.spec.crate_name);
  EXPECT_TRUE(a.spec.strategy == *json::parse_json(R"({"x":[1]})"));

  CompileReq b =
      read_ok(R"({"out_dir":null,"spec":{"crate_name":null,"embed_data":null,"strategy":1,)"
              R"("target":{"kind":"binary"},"opt_level":{"debug":null}},"dry_run":false,"cmd":"compile"})");
  EXPECT_FALSE(b.out_dir);
  EXPECT_FALSE(b.spec.crate_name);
  EXPECT_FALSE(b.spec.embed_data);
  EXPECT_EQ(b.spec.opt_level, OptLevel::Debug);
  EXPECT_EQ(b.spec.target.kind, Target::Kind::Binary);

  CompileReq c = read_ok(R"({"spec":{"strategy":1,"target":["wasm"],"opt_level":"size",)"
                         R"("crate_name":"my_crate"},"out_dir":"/tmp/o","dry_run":true})");
  EXPECT_EQ(c.spec.opt_level, OptLevel::Size);
  EXPECT_EQ(c.spec.crate_name, "my_crate");
  EXPECT_EQ(c.out_dir, "/tmp/o");
  EXPECT_TRUE(c.dry_run);
}

TEST(CompileReqRead, TaggedChoices) {
  struct {
    std::string target;
    Target::Kind kind;
    std::string mcu;
  } targets[] = {
      {R"({"kind":"no_std","mcu":"thumbv7m-none-eabi"})", Target::Kind::NoStd, "thumbv7m-none-eabi"},
      {R"({"mcu":"thumbv7m-none-eabi","kind":"no_std"})", Target::Kind::NoStd, "thumbv7m-none-eabi"},
      {R"({"kind":"wasm","mcu":"x","extra":1})", Target::Kind::Wasm, ""},
      {R"(["wasm"])", Target::Kind::Wasm, ""},
      {R"(["no_std","thumbv6m-none-eabi"])", Target::Kind::NoStd, "thumbv6m-none-eabi"},
  };
  for (const auto& t : targets) {
    CompileReq r = read_ok(R"({"spec":{"strategy":1,"target":)" + t.target + "}}");
    EXPECT_EQ(r.spec.target.kind, t.kind) << t.target;
    EXPECT_EQ(r.spec.target.mcu, t.mcu) << t.target;
  }

  CompileReq csv = read_ok(with_strategy("1", R"(,"embed_data":{"path":"d.csv","kind":"csv"})"));
  ASSERT_TRUE(csv.spec.embed_data);
  EXPECT_EQ(csv.spec.embed_data->kind, DatasetRef::Kind::Csv);
  EXPECT_EQ(csv.spec.embed_data->path, "d.csv");

  CompileReq empty = read_ok(with_strategy("1", R"(,"embed_data":{"kind":"inline","candles":[]})"));
  ASSERT_TRUE(empty.spec.embed_data);
  ASSERT_TRUE(empty.spec.embed_data->streamed);
  EXPECT_EQ(empty.spec.embed_data->streamed->canonical_sha256, sha256_hex("[]"));

  // The candles keep number kinds and the repeated-name rule, in the array
  // form as well.
  CompileReq inl = read_ok(
      with_strategy("1", R"(,"embed_data":["inline",[{"t":1,"t":-2,"o":1.0},18446744073709551616,-0]])"));
  ASSERT_TRUE(inl.spec.embed_data && inl.spec.embed_data->streamed);
  EXPECT_EQ(inl.spec.embed_data->streamed->canonical_sha256,
            sha256_hex(R"([{"o":1.0,"t":-2},1.8446744073709552e+19,-0.0])"));
}

TEST(CompileReqRead, ArrayForms) {
  CompileReq r = read_ok(R"([["s",{"kind":"wasm"}],true])");
  EXPECT_TRUE(r.dry_run);
  EXPECT_TRUE(r.spec.strategy == json::Value::string("s"));
  json::ReadResult<BytesReq> b = read_bytes_req(R"(["artifact_bytes"])");
  ASSERT_TRUE(b.ok());
  EXPECT_EQ(b->path, "artifact_bytes");
}

TEST(CompileReqRead, UnknownMembersAreNeverErrors) {
  read_ok(with_strategy("1", R"(,"unknown":{"a":1e999,"b":"\udc00"},"unknown":[1,2])"));
}

TEST(CompileReqRead, NestingLimitCoversWhatIsRead) {
  // Command object level 1, spec 2, strategy value from level 3.
  auto strategy = [](int levels) { return std::string(levels, '[') + std::string(levels, ']'); };
  read_ok(with_strategy(strategy(125)));
  json::ReadResult<CompileReq> deep = read_compile_req(with_strategy(strategy(126)));
  ASSERT_FALSE(deep.ok());
  EXPECT_EQ(deep.error().kind, ErrorKind::TooDeep);
  EXPECT_EQ(json::positioned(with_strategy(strategy(126)), deep.error()),
            "recursion limit exceeded at line 1 column 162");

  // Set-aside members count too: target object is level 3.
  std::string aside =
      R"({"cmd":"compile","spec":{"strategy":1,"target":{"kind":"wasm","x":)" + strategy(125) + "}}}";
  EXPECT_EQ(read_compile_req(aside).error().kind, ErrorKind::TooDeep);

  // Skipped members are not limited, however deep.
  const std::size_t huge = 10'000'000;
  std::string skipped = with_strategy("1", ",\"x\":" + std::string(huge, '[') + std::string(huge, ']'));
  read_ok(skipped);
  EXPECT_TRUE(read_envelope(skipped).has_value());
  // Inside the strategy the same nesting fails at the limit.
  std::string in_strategy = with_strategy(std::string(huge, '[') + std::string(huge, ']'));
  EXPECT_EQ(json::positioned(in_strategy, read_compile_req(in_strategy).error()),
            "recursion limit exceeded at line 1 column 162");
}

TEST(JsonTestSuite, EveryFileThroughTheRequestReaders) {
  std::filesystem::path dir = std::filesystem::path(LANTOR_TEST_DATA_DIR) / "jsontestsuite" / "test_parsing";
  int accepted = 0, rejected = 0, other = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    std::string body = testing::read_file(entry.path());
    std::string text =
        R"({"cmd":"compile","spec":{"strategy":)" + body + R"(,"target":{"kind":"wasm"}},"dry_run":true})";
    if (name[0] == 'y') {
      EXPECT_TRUE(read_envelope(text).has_value()) << name;
      json::ReadResult<CompileReq> r = read_compile_req(text);
      EXPECT_TRUE(r.ok()) << name << ": " << (r.ok() ? "" : r.error().message);
      ++accepted;
    } else if (name[0] == 'n') {
      EXPECT_FALSE(read_envelope(body).has_value()) << name;
      EXPECT_FALSE(json::parse_json(body).ok()) << name;
      ++rejected;
    } else {
      // Either outcome is allowed; only a crash is not.
      (void)read_envelope(text);
      (void)read_compile_req(text);
      (void)json::parse_json(body);
      ++other;
    }
  }
  EXPECT_GT(accepted, 90);
  EXPECT_GT(rejected, 180);
  EXPECT_GT(other, 20);
}

}  // namespace
}  // namespace lantor
