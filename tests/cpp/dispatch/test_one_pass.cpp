// A compile command is answered from one reading of its text; every answer
// must be the one the envelope check followed by the body reader gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/dispatch/dispatch.h"
#include "core/request/request.h"
#include "read_file.h"

namespace lantor {
namespace {

const std::string kSpec =
    R"({"strategy":{"spec_version":1,"symbol":"BTC/USDT","timeframe":"1h",)"
    R"("indicators":{"fast":{"type":"ema","params":[12]}},"entry":{"gt":["fast",1.5]},)"
    R"("exit":{"lt":["fast",1]},"sizing":{"type":"fixed_fraction","fraction":0.5}},)"
    R"("target":{"kind":"wasm"},"embed_data":{"kind":"inline","candles":)"
    R"([{"t":1,"o":2.5,"h":3,"l":1.25,"c":2,"v":10},{"v":1e2,"c":2.50,"t":2,"o":2,"h":3,"l":1}]}})";

// A compile that is not a dry run would build; such texts are left out.
bool would_build(const std::string& text) {
  json::ReadResult<CompileReq> req = read_compile_req(text);
  return req && !req->dry_run;
}

std::string both_ways(const std::string& text) {
  if (would_build(text)) return "";
  CommandState a, b;
  std::string one = dispatch(text, a);
  std::string two = dispatch_in_two_passes(text, b);
  EXPECT_EQ(one, two) << text;
  return one;
}

TEST(OnePass, AgreesWithTheTwoPassesOnWholeCommands) {
  const std::vector<std::string> texts = {
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true})",
      R"({"spec":)" + kSpec + R"(,"dry_run":true,"cmd":"compile"})",
      R"({"dry_run":true,"cmd":"compile","spec":)" + kSpec + "}",
      " \n{ \"cmd\" : \"compile\" , \"spec\" : " + kSpec + " , \"dry_run\" : true } \n\t",
      R"({"cmd":"comp\u006cile","spec":)" + kSpec + R"(,"dry_run":true})",
      R"({"cmd":"compile","cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true})",
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true,"cmd":"version"})",
      R"({"cmd":"version","spec":)" + kSpec + R"(,"dry_run":true})",
      R"({"cmd":"Compile","spec":)" + kSpec + R"(,"dry_run":true})",
      R"({"cmd":5,"spec":)" + kSpec + R"(,"dry_run":true})",
      R"({"cmd":null,"spec":)" + kSpec + R"(,"dry_run":true})",
      R"({"spec":)" + kSpec + R"(,"dry_run":true})",
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true,"extra":[{"a":[1,2,{}]}]})",
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":1})",
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true,"opt_level":5})",
      R"({"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},"opt_level":5},"dry_run":true})",
      R"({"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},"opt_level":{"release":null,"x":1}},"dry_run":true})",
      R"({"cmd":"compile","spec":{"strategy":"\ud800","target":{"kind":"wasm"}},"dry_run":true})",
      R"({"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},"embed_data":)"
      R"({"kind":"inline","candles":[{"a":1}],"candles":[{"b":2}]}},"dry_run":true})",
      R"({"cmd":"compile","spec":{"strategy":"\ud800\u0041","target":{"kind":"wasm"}},"dry_run":true})",
      R"({"cmd":"compile","spec":{"strategy":1e999,"target":{"kind":"wasm"}},"dry_run":true})",
      R"({"cmd":"compile","spec":{"strategy":)" + std::string(200, '[') + std::string(200, ']') +
          R"(,"target":{"kind":"wasm"}},"dry_run":true})",
      R"({"cmd":"compile","spec":[{},{"kind":"wasm"},"debug",null,null,6],"dry_run":true})",
      R"({"cmd":"compile","spec":[{},{"kind":"wasm"},"debug",null,null,],"dry_run":true})",
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true}})",
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true]})",
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true,})",
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":tru})",
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true})" + "x",
      R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true)",
      R"(["compile"])",
      R"({"cmd":"version"})",
      R"({"cmd":"targets"})",
      R"({"cmd":"artifact_bytes","path":""})",
      "{}",
      "",
      "}",
      " } ",
  };
  for (const std::string& text : texts) both_ways(text);
  // The first one is a success, so the one pass is not merely failing over.
  EXPECT_EQ(both_ways(texts[0]).rfind("{\"target\":", 0), 0u);
}

TEST(OnePass, AgreesOnEveryTruncationAndEveryByteChanged) {
  const std::string text = R"({"cmd":"compile","spec":)" + kSpec + R"(,"dry_run":true})";
  ASSERT_FALSE(would_build(text));
  for (std::size_t n = 0; n < text.size(); ++n) both_ways(text.substr(0, n));
  const std::string replacements = "{}[]\",:\\ 0-.eatnx\x01";
  for (std::size_t i = 0; i < text.size(); ++i) {
    for (char c : replacements) {
      if (text[i] == c) continue;
      std::string changed = text;
      changed[i] = c;
      both_ways(changed);
    }
  }
}

TEST(OnePass, AgreesOnTheJsonTestSuiteInEveryPlace) {
  const std::filesystem::path dir =
      std::filesystem::path(LANTOR_TEST_DATA_DIR) / "jsontestsuite" / "test_parsing";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string body = testing::read_file(entry.path());
    both_ways(body);
    both_ways(R"({"cmd":"compile","spec":{"strategy":)" + body +
              R"(,"target":{"kind":"wasm"}},"dry_run":true})");
    both_ways(R"({"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},)"
              R"("embed_data":{"kind":"inline","candles":[)" +
              body + R"(]}},"dry_run":true})");
    both_ways(R"({"cmd":"compile","unknown":)" + body + R"(,"spec":{}})");
    both_ways(R"({"unknown":)" + body + R"(,"cmd":"version"})");
    ++files;
  }
  EXPECT_GT(files, 300);
}

TEST(OnePass, HashesALargeDatasetInPiecesAsTheTextWouldBe) {
  // Some megabytes of candles, passed on in many pieces, with a crate name
  // before the dataset (the digest can use it), after it (the text is read
  // again), or none.
  std::string candles = "[";
  for (int i = 0; i < 40000; ++i) {
    if (i) candles += ',';
    candles += R"({"v":)" + std::to_string(i % 977) + ".25,\"t\":" + std::to_string(1700000000000LL + i) +
               R"(,"o":1.5e1,"h":2.50,"l":-0.0,"c":)" + std::to_string(i) + "}";
  }
  candles += "]";
  ASSERT_GT(candles.size(), 2'000'000u);
  const std::string strategy = kSpec.substr(0, kSpec.find(R"(,"embed_data")"));
  const std::string data = R"("embed_data":{"candles":)" + candles + R"(,"kind":"inline"})";
  for (const std::string& spec : {
           strategy + "," + data + "}",
           strategy + R"(,"crate_name":"mine",)" + data + "}",
           strategy + "," + data + R"(,"crate_name":"mine"})",
           strategy + "," + data + R"(,"crate_name":null})",
       }) {
    const std::string text = R"({"cmd":"compile","spec":)" + spec + R"(,"dry_run":true})";
    EXPECT_EQ(both_ways(text).rfind("{\"target\":", 0), 0u) << spec.substr(spec.size() - 40);
  }
}

TEST(OnePass, KeepsTheDatasetTextOnlyWhenItIsNeeded) {
  const std::string strategy = kSpec.substr(0, kSpec.find(R"(,"embed_data")"));
  const std::string data = R"("embed_data":{"kind":"inline","candles":[{"b":1,"a":2.50}]})";
  struct Case {
    std::string text;
    bool text_kept;
  };
  const std::vector<Case> cases = {
      {R"({"cmd":"compile","spec":)" + strategy + "," + data + R"(},"dry_run":true})", false},
      {R"({"cmd":"compile","spec":)" + strategy + R"(,"crate_name":"x",)" + data + R"(},"dry_run":true})",
       false},
      {R"({"cmd":"compile","spec":)" + strategy + "," + data + R"(,"crate_name":"x"},"dry_run":true})", true},
      {R"({"cmd":"compile","spec":)" + strategy + "," + data + R"(}})", true},
      {R"({"cmd":"compile","spec":)" + strategy + "," + data + R"(},"dry_run":false})", true},
  };
  for (const Case& c : cases) {
    CompileCommand got = read_compile_command(c.text);
    ASSERT_TRUE(got.req.has_value()) << c.text;
    const DatasetRef& dataset = *got.req->spec.embed_data;
    EXPECT_EQ(dataset.streamed.has_value(), !c.text_kept) << c.text;
    EXPECT_EQ(dataset.candles_json.has_value(), c.text_kept) << c.text;
    if (c.text_kept) {
      EXPECT_EQ(*dataset.candles_json, R"([{"a":2.5,"b":1}])");
    } else {
      EXPECT_EQ(dataset.streamed->canonical_len, 17u);
    }
  }
}

TEST(OnePass, TellsABrokenGrammarFromAValidTextItDoesNotWant) {
  struct Case {
    std::string text;
    bool read;
    bool not_json;
  };
  const std::vector<Case> cases = {
      {R"({"cmd":"compile","spec":)" + kSpec + "}", true, false},
      {R"({"cmd":"compile","spec":)" + kSpec + ",}", false, true},
      {R"({"cmd":"compile","spec":{"strategy":[1,2,],"target":{"kind":"wasm"}}})", false, true},
      {R"({"cmd":"compile","spec":{"strategy":"a)"
       "\x01"
       R"(","target":{"kind":"wasm"}}})",
       false, true},
      {R"({"cmd":"compile","spec":{"strategy":01,"target":{"kind":"wasm"}}})", false, true},
      {R"({"cmd":"compile","spec":{"strategy":{},"target":{"kind":"wasm"},"opt_level":5}})", false, false},
      {R"({"cmd":"compile","spec":{"strategy":1e999,"target":{"kind":"wasm"}}})", false, false},
      {R"({"cmd":"compile","spec":{"strategy":"\udc00","target":{"kind":"wasm"}}})", false, false},
      {R"({"cmd":"version"})", false, false},
      {R"({"cmd":"compile","cmd":"compile","spec":)" + kSpec + "}", false, false},
      {R"({"spec":)" + kSpec + "}", false, false},
  };
  for (const Case& c : cases) {
    CompileCommand got = read_compile_command(c.text);
    EXPECT_EQ(got.req.has_value(), c.read) << c.text;
    EXPECT_EQ(got.not_json, c.not_json) << c.text;
  }
}

}  // namespace
}  // namespace lantor
