// Error texts and positions of the body readers.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/request/request.h"

namespace lantor {
namespace {

struct ErrorCase {
  std::string text;
  std::string error;
};

std::string spec_with(const std::string& members) {
  return R"({"cmd":"compile","spec":{"strategy":{},)" + members + "}}";
}

class CompileReqErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CompileReqErrors, ReportsTextAndPosition) {
  json::ReadResult<CompileReq> r = read_compile_req(GetParam().text);
  ASSERT_FALSE(r.ok()) << GetParam().text;
  EXPECT_EQ(json::positioned(GetParam().text, r.error()), GetParam().error) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Schema, CompileReqErrors,
    ::testing::Values(
        ErrorCase{R"({"cmd":"compile"})", "missing field `spec` at line 1 column 17"},
        ErrorCase{R"({"cmd":"compile","spec":{"target":{"kind":"wasm"}}})",
                  "missing field `strategy` at line 1 column 50"},
        ErrorCase{R"({"cmd":"compile","spec":{"strategy":{}}})",
                  "missing field `target` at line 1 column 39"},
        ErrorCase{R"({"cmd":"compile","spec":{"strategy":{},"target":{"kind":"arm"}}})",
                  "unknown variant `arm`, expected one of `wasm`, `binary`, `no_std` at line 1 column 61"},
        ErrorCase{
            R"({"cmd":"compile","spec":{"strategy":{},"target":"wasm"}})",
            "invalid type: string \"wasm\", expected internally tagged enum Target at line 1 column 54"},
        ErrorCase{R"({"cmd":"compile","spec":{"strategy":{},"target":null}})",
                  "invalid type: null, expected internally tagged enum Target at line 1 column 52"},
        ErrorCase{R"({"cmd":"compile","spec":{"strategy":{},"target":-1.5}})",
                  "invalid type: floating point `-1.5`, expected internally tagged enum Target at line 1 "
                  "column 52"},
        // Set-aside member errors: past the choice's brace, or past the
        // enclosing object's brace when the choice is its last member.
        ErrorCase{spec_with(R"("target":{"kind":"no_std"})"), "missing field `mcu` at line 1 column 66"},
        ErrorCase{spec_with(R"("target":{"kind":"no_std"},"dry_run":1)"),
                  "missing field `mcu` at line 1 column 65"},
        ErrorCase{spec_with(R"("target":{"kind":"no_std","mcu":5})"),
                  "invalid type: integer `5`, expected a string at line 1 column 74"},
        ErrorCase{spec_with(R"("target":{"kind":"no_std","mcu":"a","mcu":"b"})"),
                  "duplicate field `mcu` at line 1 column 86"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm","kind":"wasm"})"),
                  "duplicate field `kind` at line 1 column 69"},
        ErrorCase{spec_with(R"("target":{"mcu":"x"})"), "missing field `kind` at line 1 column 59"},
        ErrorCase{spec_with(R"("target":{"kind":5})"),
                  "invalid type: integer `5`, expected variant identifier at line 1 column 57"},
        ErrorCase{spec_with(R"("target":{"kind":[]})"),
                  "invalid type: sequence, expected variant identifier at line 1 column 56"},
        // An error of the choice itself is placed past its own bracket.
        ErrorCase{spec_with(R"("target":[])"), "missing field `kind` at line 1 column 50"},
        ErrorCase{spec_with(R"("target":["wasm",1])"),
                  "invalid length 1, expected 0 elements in sequence at line 1 column 59"},
        ErrorCase{
            spec_with(R"("target":["no_std"])"),
            "invalid length 0, expected struct variant Target::NoStd with 1 element at line 1 column 59"},
        ErrorCase{spec_with(R"("target":["no_std","a","b"])"),
                  "invalid length 2, expected 1 element in sequence at line 1 column 67"},
        ErrorCase{spec_with(R"("target":["no_std",1])"),
                  "invalid type: integer `1`, expected a string at line 1 column 61"},
        ErrorCase{
            spec_with(R"("target":{"kind":"wasm"},"embed_data":"x.csv")"),
            "invalid type: string \"x.csv\", expected internally tagged enum DatasetRef at line 1 column 84"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"embed_data":{"kind":"inline","candles":{}})"),
                  "invalid type: map, expected a sequence at line 1 column 108"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"embed_data":{"kind":"csv"})"),
                  "missing field `path` at line 1 column 92"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"embed_data":{"kind":"inline"})"),
                  "missing field `candles` at line 1 column 95"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"embed_data":{"kind":"json"})"),
                  "unknown variant `json`, expected `csv` or `inline` at line 1 column 91"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"opt_level":"fast")"),
                  "unknown variant `fast`, expected one of `debug`, `release`, `size` at line 1 column 82"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"opt_level":1)"),
                  "expected value at line 1 column 77"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"opt_level":null)"),
                  "expected value at line 1 column 77"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"opt_level":["size"])"),
                  "expected value at line 1 column 77"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"opt_level":{"size":1})"),
                  "invalid type: integer `1`, expected unit at line 1 column 85"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"opt_level":{"size":null,"debug":null})"),
                  "expected value at line 1 column 88"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"opt_level":{"fast":null})"),
                  "unknown variant `fast`, expected one of `debug`, `release`, `size` at line 1 column 83"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm"},"crate_name":5)"),
                  "invalid type: integer `5`, expected a string at line 1 column 78"},
        ErrorCase{R"({"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"}},"dry_run":null})",
                  "invalid type: null, expected a boolean at line 1 column 79"},
        ErrorCase{R"({"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"}},"out_dir":[]})",
                  "invalid type: sequence, expected a string at line 1 column 75"},
        ErrorCase{R"({"cmd":"compile","spec":[]})",
                  "invalid length 0, expected struct CompileSpec with 5 elements at line 1 column 26"},
        ErrorCase{R"({"cmd":"compile","spec":["s"]})",
                  "invalid length 1, expected struct CompileSpec with 5 elements at line 1 column 29"},
        ErrorCase{R"({"cmd":"compile","spec":["s",["wasm"],"debug",null,null,1]})",
                  "trailing characters at line 1 column 57"},
        ErrorCase{R"({"cmd":"compile","spec":["s",["wasm"],"debug",null,null,]})",
                  "trailing comma at line 1 column 57"},
        ErrorCase{R"({"cmd":"compile","spec":"s"})",
                  "invalid type: string \"s\", expected struct CompileSpec at line 1 column 27"},
        ErrorCase{R"({"cmd":"compile","spec":{}})", "missing field `strategy` at line 1 column 26"},
        ErrorCase{R"({"cmd":"compile","spec":{"strategy":1,"strategy":2}})",
                  "duplicate field `strategy` at line 1 column 48"},
        ErrorCase{R"({"cmd":"compile","spec":{"strategy":1,"target":["wasm"]},"spec":1})",
                  "duplicate field `spec` at line 1 column 63"},
        ErrorCase{R"(["compile"])",
                  "invalid type: string \"compile\", expected struct CompileSpec at line 1 column 10"},
        ErrorCase{R"([])", "invalid length 0, expected struct CompileReq with 3 elements at line 1 column 2"},
        ErrorCase{R"(5)", "invalid type: integer `5`, expected struct CompileReq at line 1 column 1"},
        ErrorCase{R"({"cmd":"compile"} x)", "missing field `spec` at line 1 column 17"},
        ErrorCase{"{\"cmd\":\"compile\",\n \"spec\":{\"strategy\":1e400}}",
                  "number out of range at line 2 column 25"},
        ErrorCase{R"({"cmd":"compile","spec":{"strategy":{},"target":["wasm"]}} x)",
                  "trailing characters at line 1 column 60"},
        ErrorCase{"", "EOF while parsing a value at line 1 column 0"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm","x":"\ud800"})"),
                  "unexpected end of hex escape at line 1 column 75"},
        ErrorCase{spec_with(R"("target":{"kind":"wasm","x":"\udc00"})"),
                  "lone leading surrogate in hex escape at line 1 column 74"}));

TEST(BytesReqErrors, ReportTextAndPosition) {
  struct {
    const char* text;
    const char* error;
  } cases[] = {
      {R"({"cmd":"artifact_bytes"})", "missing field `path` at line 1 column 24"},
      {R"({"cmd":"artifact_bytes","path":5})",
       "invalid type: integer `5`, expected a string at line 1 column 32"},
      {R"({"cmd":"artifact_bytes","path":null})",
       "invalid type: null, expected a string at line 1 column 35"},
      {R"({"cmd":"artifact_bytes","path":"a","path":"b"})", "duplicate field `path` at line 1 column 41"},
      {R"(["a","b"])", "trailing characters at line 1 column 6"},
      {R"({"path":"a"})", nullptr},
  };
  for (const auto& c : cases) {
    json::ReadResult<BytesReq> r = read_bytes_req(c.text);
    if (c.error == nullptr) {
      EXPECT_TRUE(r.ok()) << c.text;
      continue;
    }
    ASSERT_FALSE(r.ok()) << c.text;
    EXPECT_EQ(json::positioned(c.text, r.error()), c.error) << c.text;
  }
}

// Each kind a command's reading can report, where it arises.
TEST(CompileReqErrors, KnowTheirKind) {
  const std::pair<std::string, ErrorKind> cases[] = {
      {spec_with(R"("target":{"kind":"wasm"},})"), ErrorKind::Syntax},
      {spec_with(R"("target":{"kind":"wasm"},"opt_level":"size","crate_name":"\udc00")"),
       ErrorKind::BadUnicode},
      {R"({"cmd":"compile","spec":{"strategy":1e400,"target":{"kind":"wasm"}}})",
       ErrorKind::NumberOutOfRange},
      {R"({"cmd":"compile","spec":{"strategy":)" + std::string(126, '[') + std::string(126, ']') + "}}",
       ErrorKind::TooDeep},
      {R"({"cmd":"compile"})", ErrorKind::MissingField},
      {spec_with(R"("target":{"kind":"wasm"},"target":{"kind":"wasm"})"), ErrorKind::DuplicateField},
      {spec_with(R"("target":{"kind":"arm"})"), ErrorKind::UnknownVariant},
      {spec_with(R"("target":"wasm")"), ErrorKind::InvalidType},
      {spec_with(R"("target":["no_std"])"), ErrorKind::InvalidLength},
  };
  for (const auto& [text, kind] : cases) {
    json::ReadResult<CompileReq> r = read_compile_req(text);
    ASSERT_FALSE(r.ok()) << text;
    EXPECT_EQ(r.error().kind, kind) << text << ": " << r.error().message;
  }
}

// A failure in what a tagged choice set aside is placed after the choice, as
// its message says, and is about the choice itself.
TEST(CompileReqErrors, SetAsideFailuresNameTheirChoice) {
  const std::string target = R"({"kind":"no_std"})";
  for (const std::string& after : {std::string(), std::string(R"(,"opt_level":"size")")}) {
    const std::string text = spec_with(R"("target": )" + target + after);
    json::ReadResult<CompileReq> r = read_compile_req(text);
    ASSERT_FALSE(r.ok()) << text;
    EXPECT_EQ(r.error().message, "missing field `mcu`");
    EXPECT_EQ(r.error().value_at, text.find(target)) << text;
  }
  json::ReadResult<CompileReq> placed = read_compile_req(spec_with(R"("target":{"kind":"arm"})"));
  ASSERT_FALSE(placed.ok());
  EXPECT_EQ(placed.error().value_at, json::kNoOffset);
}

}  // namespace
}  // namespace lantor
