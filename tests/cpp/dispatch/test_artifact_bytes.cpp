#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/base/sha256.h"
#include "core/dispatch/dispatch.h"
#include "core/json/canonical.h"

namespace lantor {
namespace {

namespace fs = std::filesystem;

class ArtifactBytes : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("lantor_artifact_bytes_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string& name, const std::string& bytes) {
    fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }

  static std::string command(const std::string& path) {
    std::string out = R"({"cmd":"artifact_bytes","path":)";
    json::append_json_string(out, path);
    return out + "}";
  }

  static std::string success(int handle, const std::string& bytes) {
    return R"({"handle":)" + std::to_string(handle) + R"(,"len":)" + std::to_string(bytes.size()) +
           R"(,"sha256":")" + sha256_hex(bytes) + R"("})";
  }

  fs::path dir_;
};

TEST_F(ArtifactBytes, NumbersHandlesAndKeepsFailuresOutOfTheState) {
  CommandState state;
  std::string a = write("a.bin", std::string("\x00\x01wasm\xff", 7));
  std::string missing = (dir_ / "missing").string();

  EXPECT_EQ(dispatch(command(a), state), success(0, std::string("\x00\x01wasm\xff", 7)));
  EXPECT_EQ(dispatch(command(missing), state),
            R"({"ok":false,"error":"reading )" + missing + R"x(: No such file or directory (os error 2)"})x");
  EXPECT_EQ(state.artifacts.size(), 1u);
  EXPECT_EQ(state.next_handle, 1u);
  // The same file again is a second copy under the next handle.
  EXPECT_EQ(dispatch(command(a), state), success(1, std::string("\x00\x01wasm\xff", 7)));
  ASSERT_EQ(state.artifacts.size(), 2u);
  EXPECT_EQ(state.artifacts.at(1).size, 7u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(state.artifacts.at(1).data.get()), 7),
            std::string("\x00\x01wasm\xff", 7));

  EXPECT_EQ(dispatch(R"({"cmd":"reset"})", state), R"({"ok":true})");
  EXPECT_TRUE(state.artifacts.empty());
  EXPECT_EQ(dispatch(command(a), state), success(0, std::string("\x00\x01wasm\xff", 7)));
}

TEST_F(ArtifactBytes, InstancesNumberIndependently) {
  CommandState one, two;
  std::string a = write("a.txt", "abc");
  EXPECT_EQ(dispatch(command(a), one), success(0, "abc"));
  EXPECT_EQ(dispatch(command(a), one), success(1, "abc"));
  EXPECT_EQ(dispatch(command(a), two), success(0, "abc"));
}

TEST_F(ArtifactBytes, ReadsEmptyLargeAndSpecialFiles) {
  CommandState state;
  EXPECT_EQ(dispatch(command(write("empty", "")), state), success(0, ""));
  EXPECT_EQ(state.artifacts.at(0).size, 0u);

  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
  EXPECT_EQ(dispatch(command(write("big", big)), state), success(1, big));

  // /proc files report a size of 0 but have contents.
  std::string resp = dispatch(command("/proc/self/status"), state);
  EXPECT_EQ(resp.rfind(R"({"handle":2,"len":)", 0), 0u) << resp;
  EXPECT_GT(state.artifacts.at(2).size, 0u);
}

TEST_F(ArtifactBytes, ReportsFailures) {
  CommandState state;
  std::string d = dir_.string();
  struct {
    std::string cmd;
    std::string error;
  } cases[] = {
      {command(d), "reading " + d + ": Is a directory (os error 21)"},
      {command(std::string("a\0b", 3)), "reading a\\u0000b: file name contained an unexpected NUL byte"},
      {R"({"cmd":"artifact_bytes"})", "bad artifact_bytes request: missing field `path` at line 1 column 24"},
      {R"({"cmd":"artifact_bytes","path":1e999})",
       "bad artifact_bytes request: number out of range at line 1 column 36"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dispatch(c.cmd, state), R"({"ok":false,"error":")" + c.error + "\"}") << c.cmd;
  }
  EXPECT_TRUE(state.artifacts.empty());
  EXPECT_EQ(state.next_handle, 0u);
}

}  // namespace
}  // namespace lantor
