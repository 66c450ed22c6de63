#include <gtest/gtest.h>

#include <string>

#include "core/dispatch/dispatch.h"

namespace lantor {
namespace {

constexpr const char* kEnvelopeError =
    R"({"ok":false,"error":"invalid command envelope: expected {\"cmd\":...}"})";
constexpr const char* kVersion = R"({"version":"0.1.2","backtest_dep":"0.1.5"})";
constexpr const char* kTargets =
    R"({"targets":["wasm","binary","no_std"],"mcus":["thumbv6m-none-eabi","thumbv7m-none-eabi",)"
    R"("thumbv7em-none-eabi","thumbv7em-none-eabihf","thumbv8m.main-none-eabi",)"
    R"("thumbv8m.main-none-eabihf","riscv32imac-unknown-none-elf"]})";

std::string run(std::string_view text) {
  CommandState state;
  return dispatch(text, state);
}

struct Case {
  std::string text;
  std::string response;
};

TEST(Dispatch, BodilessCommands) {
  const Case cases[] = {
      {R"({"cmd":"version"})", kVersion},
      {" \t\r\n{ \"cmd\" : \"version\" } \n", kVersion},
      {R"({"cmd":"version","extra":[1,2]})", kVersion},
      {R"({"extra":{"cmd":5},"cmd":"version"})", kVersion},
      {R"({"\u0063md":"vers\u0069on"})", kVersion},
      {R"(["version"])", kVersion},
      {R"({"cmd":"targets"})", kTargets},
      {R"({"cmd":"targets","mcus":null})", kTargets},
      {R"({"cmd":"reset"})", R"({"ok":true})"},
  };
  for (const auto& c : cases) EXPECT_EQ(run(c.text), c.response) << c.text;
}

TEST(Dispatch, MalformedEnvelopes) {
  const std::string texts[] = {
      "",
      "   ",
      "{}",
      "[]",
      "null",
      "\"version\"",
      R"({"cmd":5})",
      R"({"cmd":null})",
      R"({"cmd":"version","cmd":"version"})",
      R"({"cmd":"version"}x)",
      R"({"cmd":"version"} {})",
      R"({"cmd":"version")",
      R"({"cmd":"version",})",
      R"({"cmd":"version","x":[1,}")",
      R"({"cmd":"version","x":tru})",
      R"(["version","reset"])",
      R"([5])",
      std::string(10'000'000, '['),
      "{\"cmd\":\"version\",\"x\":" + std::string(1'000'000, '[') + std::string(999'999, ']') + "}",
  };
  for (const auto& text : texts) EXPECT_EQ(run(text), kEnvelopeError) << text.substr(0, 60);
}

TEST(Dispatch, DeepSkippedMemberIsOnlySkipped) {
  std::string text =
      "{\"x\":" + std::string(1'000'000, '[') + std::string(1'000'000, ']') + ",\"cmd\":\"version\"}";
  EXPECT_EQ(run(text), kVersion);
}

TEST(Dispatch, UnknownCommandsAreNamedAsGiven) {
  const Case cases[] = {
      {R"({"cmd":"Version"})", R"({"ok":false,"error":"unknown cmd: Version"})"},
      {R"({"cmd":"RESET"})", R"({"ok":false,"error":"unknown cmd: RESET"})"},
      {R"({"cmd":""})", R"({"ok":false,"error":"unknown cmd: "})"},
      {R"({"cmd":"a\"b\nc\\"})", R"({"ok":false,"error":"unknown cmd: a\"b\nc\\"})"},
      {R"({"cmd":"\u0001\u00e9/"})", "{\"ok\":false,\"error\":\"unknown cmd: \\u0001\xc3\xa9/\"}"},
  };
  for (const auto& c : cases) EXPECT_EQ(run(c.text), c.response) << c.text;
}

TEST(Dispatch, ErrorResponseEscaping) {
  EXPECT_EQ(error_response("say \"no\"\r\n\ttab\x7f"),
            "{\"ok\":false,\"error\":\"say \\\"no\\\"\\r\\n\\ttab\x7f\"}");
}

TEST(Dispatch, ResetEmptiesTheStore) {
  CommandState state;
  state.artifacts[0] = ByteBuffer{};
  state.artifacts[1] = ByteBuffer{};
  state.next_handle = 2;
  EXPECT_EQ(dispatch(R"({"cmd":"reset"})", state), R"({"ok":true})");
  EXPECT_TRUE(state.artifacts.empty());
  EXPECT_EQ(state.next_handle, 0u);
}

TEST(Dispatch, FailuresLeaveStateAlone) {
  CommandState state;
  state.artifacts[0] = ByteBuffer{};
  state.next_handle = 1;
  for (const char* text : {"", R"({"cmd":"nope"})", R"({"cmd":"version"})", R"({"cmd":"targets"})"})
    dispatch(text, state);
  EXPECT_EQ(state.artifacts.size(), 1u);
  EXPECT_EQ(state.next_handle, 1u);
}

}  // namespace
}  // namespace lantor
