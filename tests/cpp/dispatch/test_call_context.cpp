// A command whose CallContext was captured resolves every relative path (an
// artifact_bytes path, a CSV dataset, an output directory) against the
// working directory of the capture, whatever the process's is by then.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/base/sha256.h"
#include "core/dispatch/dispatch.h"

namespace lantor {
namespace {

namespace fs = std::filesystem;

const char kStrategy[] = R"({"symbol":"BTC-USDT","timeframe":"1h","indicators":{},)"
                         R"("entry":{"in_position":false},"exit":{"in_position":true},)"
                         R"("sizing":{"type":"fixed_qty","qty":1}})";

struct Case {
  const char* name;
  std::string command;
  // Found in the response when the capture's directory was used; the
  // command fails in the other directory, which holds nothing.
  std::string expected;
};

TEST(CallContext, RelativePathsStartWhereTheCommandStarted) {
  fs::path root = fs::temp_directory_path() / ("lantor_call_context_" + std::to_string(::getpid()));
  fs::create_directories(root / "first");
  fs::create_directories(root / "second");
  std::ofstream(root / "first/a.bin", std::ios::binary) << "abc";
  std::ofstream(root / "first/d.csv", std::ios::binary) << "t,o,h,l,c,v\n";
  const Case cases[] = {
      {"artifact_bytes", R"({"cmd":"artifact_bytes","path":"a.bin"})",
       R"("sha256":")" + sha256_hex("abc") + R"("})"},
      {"csv dataset",
       std::string(R"({"cmd":"compile","dry_run":true,"spec":{"target":{"kind":"binary"},"strategy":)") +
           kStrategy + R"(,"embed_data":{"kind":"csv","path":"d.csv"}}})",
       R"({"path":"src/candles.csv","sha256":")" + sha256_hex("t,o,h,l,c,v\n") + "\""},
      // No cargo on PATH: the project is written, then spawning fails.
      {"output directory",
       std::string(R"({"cmd":"compile","out_dir":"out","spec":{"target":{"kind":"binary"},"strategy":)") +
           kStrategy + "}}",
       "build: spawning cargo: No such file or directory (os error 2)"},
  };
  fs::path old = fs::current_path();
  const char* old_path = std::getenv("PATH");
  std::string saved_path = old_path != nullptr ? old_path : "";
  ::setenv("PATH", (root / "second").c_str(), 1);
  for (const Case& c : cases) {
    fs::current_path(root / "first");
    CommandState state;
    state.context = CallContext::capture();
    fs::current_path(root / "second");
    std::string response = dispatch(c.command, state);
    EXPECT_NE(response.find(c.expected), std::string::npos) << c.name << ": " << response;
  }
  fs::current_path(old);
  ::setenv("PATH", saved_path.c_str(), 1);
  EXPECT_TRUE(fs::exists(root / "first/out/btc_usdt/Cargo.toml"));
  EXPECT_FALSE(fs::exists(root / "second/out"));
  fs::remove_all(root);
}

}  // namespace
}  // namespace lantor
