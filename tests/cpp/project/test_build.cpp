#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <set>

#include "core/base/environment.h"
#include "core/base/file.h"
#include "core/project/artifact.h"
#include "core/project/build.h"
#include "core/project/search_path.h"
#include "test_build_helpers.h"

namespace lantor {
namespace {

namespace fs = std::filesystem;
using testing::EnvGuard;
using testing::make_executable;
using testing::read_file;
using testing::StandinCargo;
using testing::TempDir;
using testing::write_text;

// cargo run in the directory at `dir` with this process's environment.
Status<CompileError> run_cargo(const std::string& dir, const Target& target, OptLevel level) {
  Result<FileDescriptor, int> handle = FileDescriptor::open_at(AT_FDCWD, dir, O_PATH | O_DIRECTORY);
  EXPECT_TRUE(handle.ok()) << dir;
  return lantor::run_cargo(handle.ok() ? handle->get() : -1, Environment(), target, level);
}

Target wasm() { return {Target::Kind::Wasm, ""}; }
Target binary() { return {Target::Kind::Binary, ""}; }
Target no_std(const char* mcu) { return {Target::Kind::NoStd, mcu}; }

// After a build no child of this process may be left unreaped.
void expect_no_children() {
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

struct ArgsCase {
  Target target;
  OptLevel level;
  std::string expected;  // the recorded arguments, one per line
};

TEST(BuildCargo, ArgumentsPerTargetAndLevel) {
  const ArgsCase cases[] = {
      {binary(), OptLevel::Debug, "build\n"},
      {binary(), OptLevel::Release, "build\n--release\n"},
      {binary(), OptLevel::Size, "build\n--release\n"},
      {wasm(), OptLevel::Debug, "build\n--target\nwasm32-unknown-unknown\n"},
      {wasm(), OptLevel::Size, "build\n--target\nwasm32-unknown-unknown\n--release\n"},
      {no_std("thumbv7em-none-eabihf"), OptLevel::Release,
       "build\n--target\nthumbv7em-none-eabihf\n--release\n"},
      {no_std("riscv32imac-unknown-none-elf"), OptLevel::Debug,
       "build\n--target\nriscv32imac-unknown-none-elf\n"},
  };
  StandinCargo cargo("record.sh");
  for (const ArgsCase& c : cases) {
    TempDir project;
    Status<CompileError> built = run_cargo(project.str(), c.target, c.level);
    ASSERT_TRUE(built.ok()) << built.error().text();
    EXPECT_EQ(read_file(project.path() / "standin_args.txt"), c.expected);
  }
}

TEST(BuildCargo, ChildSeesProjectDirEmptyStdinAndOnlyStandardDescriptors) {
  // A descriptor this process holds without close-on-exec must not reach
  // the build either.
  int stray = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
  StandinCargo cargo("record.sh");
  TempDir project;
  ASSERT_TRUE(run_cargo(project.str(), binary(), OptLevel::Debug).ok());
  ::close(stray);

  EXPECT_EQ(read_file(project.path() / "standin_cwd.txt"),
            std::filesystem::canonical(project.path()).string() + "\n");
  EXPECT_EQ(read_file(project.path() / "standin_stdin_target.txt"), "/dev/null\n");
  EXPECT_EQ(read_file(project.path() / "standin_stdin.txt"), "");
  // 0, 1, 2, and the one `ls` opens to read the directory.
  EXPECT_EQ(read_file(project.path() / "standin_fds.txt"), "0\n1\n2\n3\n");
  expect_no_children();
}

TEST(BuildCargo, EnvironmentIsTheOneGiven) {
  StandinCargo cargo("record.sh");
  TempDir project;
  EnvGuard guard("LANTOR_TEST_SEEN");
  ::setenv("LANTOR_TEST_SEEN", "taken", 1);
  Environment taken = Environment::snapshot();
  // Changed after the snapshot, and PATH emptied: the child still finds the
  // stand-in and sees the value taken.
  EnvGuard path_guard("PATH");
  ::setenv("LANTOR_TEST_SEEN", "later", 1);
  ::setenv("PATH", "/nonexistent", 1);
  Result<FileDescriptor, int> dir = FileDescriptor::open_at(AT_FDCWD, project.str(), O_PATH | O_DIRECTORY);
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(lantor::run_cargo(dir->get(), taken, binary(), OptLevel::Debug).ok());
  EXPECT_EQ(read_file(project.path() / "standin_env.txt"), "taken\n");
}

TEST(BuildCargo, LargeOutputOnBothStreamsDoesNotStall) {
  StandinCargo cargo("flood.sh");
  TempDir project;
  Status<CompileError> built = run_cargo(project.str(), binary(), OptLevel::Debug);
  ASSERT_FALSE(built.ok());
  EXPECT_EQ(built.error().kind, CompileError::Kind::Build);
  // Only standard error is reported: its last 2000 bytes.
  EXPECT_EQ(built.error().text(), "build: " + std::string(1993, 'e') + "the end");
  expect_no_children();
}

TEST(BuildCargo, SuccessIgnoresBothStreams) {
  StandinCargo cargo("succeed_noisy.sh");
  TempDir project;
  EXPECT_TRUE(run_cargo(project.str(), binary(), OptLevel::Release).ok());
  expect_no_children();
}

struct StderrCase {
  const char* name;
  std::string stderr_bytes;
  std::string exit_code;
  std::string expected;  // the error text
};

TEST(BuildCargo, FailureReportsTheEndOfStandardError) {
  std::string ascii;
  for (int i = 0; i < 5000; ++i) ascii += static_cast<char>('a' + i % 26);
  // 999 two-byte characters and one byte before them: 2000 bytes would
  // start inside the first of them.
  std::string split = "x";
  for (int i = 0; i < 1001; ++i) split += "\xC3\xA9";
  std::string kept_split;
  for (int i = 0; i < 1000; ++i) kept_split += "\xC3\xA9";
  std::string split_odd = "ab";
  for (int i = 0; i < 1000; ++i) split_odd += "\xE2\x82\xAC";  // 3000 bytes of euro signs
  std::string kept_odd;
  for (int i = 0; i < 666; ++i) kept_odd += "\xE2\x82\xAC";  // 1998 bytes: the cut moved forward

  const StderrCase cases[] = {
      {"empty", "", "1", "build: "},
      {"short", "error: boom\n", "101", "build: error: boom\n"},
      {"5000 ascii", ascii, "1", "build: " + ascii.substr(3000)},
      {"exactly 2000", ascii.substr(0, 2000), "1", "build: " + ascii.substr(0, 2000)},
      {"invalid utf8", "bad \xFF here \xC3( and \xE2\x82", "2",
       "build: bad \xEF\xBF\xBD here \xEF\xBF\xBD( and \xEF\xBF\xBD"},
      {"even cut", split, "1", "build: " + kept_split},
      {"cut inside character", split_odd, "1", "build: " + kept_odd},
      // A replacement character is three bytes: 1000 invalid bytes decode
      // to 3000, and the tail is taken from the decoded text.
      {"tail after decoding", std::string(1000, '\xFF'), "1",
       "build: " +
           [] {
             std::string s;
             for (int i = 0; i < 666; ++i) s += "\xEF\xBF\xBD";
             return s;
           }()},
  };
  StandinCargo cargo("stderr_then_exit.sh");
  EnvGuard stderr_guard("STANDIN_STDERR");
  EnvGuard exit_guard("STANDIN_EXIT");
  for (const StderrCase& c : cases) {
    TempDir scratch;
    write_text(scratch.path() / "stderr.bin", c.stderr_bytes);
    ::setenv("STANDIN_STDERR", (scratch.path() / "stderr.bin").c_str(), 1);
    ::setenv("STANDIN_EXIT", c.exit_code.c_str(), 1);
    Status<CompileError> built = run_cargo(scratch.str(), binary(), OptLevel::Debug);
    ASSERT_FALSE(built.ok()) << c.name;
    EXPECT_EQ(built.error().text(), c.expected) << c.name;
  }
  expect_no_children();
}

TEST(BuildCargo, DeathBySignalIsAFailure) {
  StandinCargo cargo("killed.sh");
  TempDir project;
  Status<CompileError> built = run_cargo(project.str(), wasm(), OptLevel::Debug);
  ASSERT_FALSE(built.ok());
  EXPECT_EQ(built.error().text(), "build: about to die\n");
  expect_no_children();
}

TEST(BuildCargo, NoCargoOnPath) {
  EnvGuard path_guard("PATH");
  TempDir empty_bin;
  ::setenv("PATH", empty_bin.str().c_str(), 1);
  TempDir project;
  Status<CompileError> built = run_cargo(project.str(), binary(), OptLevel::Debug);
  ASSERT_FALSE(built.ok());
  EXPECT_EQ(built.error().text(), "build: spawning cargo: No such file or directory (os error 2)");
}

TEST(BuildCargo, DirectoryThatCannotBeEnteredIsASpawnFailure) {
  StandinCargo cargo("record.sh");
  TempDir scratch;
  write_text(scratch.path() / "file", "");
  Result<FileDescriptor, int> file = FileDescriptor::open_at(AT_FDCWD, scratch.str() + "/file", O_RDONLY);
  ASSERT_TRUE(file.ok());
  Status<CompileError> built = lantor::run_cargo(file->get(), Environment(), binary(), OptLevel::Debug);
  ASSERT_FALSE(built.ok());
  EXPECT_EQ(built.error().text(), "build: spawning cargo: Not a directory (os error 20)");
  expect_no_children();
}

TEST(Artifact, PathPerTargetAndLevel) {
  struct Case {
    Target target;
    OptLevel level;
    const char* dir;
    const char* expected;
  };
  const Case cases[] = {
      {binary(), OptLevel::Debug, "_out/demo", "_out/demo/target/debug/demo"},
      {binary(), OptLevel::Release, "_out/demo", "_out/demo/target/release/demo"},
      {binary(), OptLevel::Size, "_out/demo", "_out/demo/target/release/demo"},
      {wasm(), OptLevel::Debug, "/tmp/x/demo", "/tmp/x/demo/pkg/demo_bg.wasm"},
      {wasm(), OptLevel::Size, "demo", "demo/pkg/demo_bg.wasm"},
      {no_std("thumbv6m-none-eabi"), OptLevel::Size, "o/demo",
       "o/demo/target/thumbv6m-none-eabi/release/libdemo.a"},
      {no_std("thumbv8m.main-none-eabi"), OptLevel::Debug, "o/demo",
       "o/demo/target/thumbv8m.main-none-eabi/debug/libdemo.a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(artifact_path(c.dir, c.target, c.level, "demo"), c.expected);
  }
}

TEST(SearchPath, FindsTheFirstExecutableFileAsTheChildSeesIt) {
  TempDir root;
  const fs::path& r = root.path();
  make_executable(r / "first/tool", "#!/bin/sh\n");
  make_executable(r / "second/tool", "#!/bin/sh\n");
  write_text(r / "plain/tool", "not executable\n");
  fs::create_directories(r / "dir/tool");
  make_executable(r / "cwd/tool", "#!/bin/sh\n");
  make_executable(r / "cwd/rel/tool", "#!/bin/sh\n");
  const std::string first = (r / "first").string(), second = (r / "second").string();
  const std::string plain = (r / "plain").string(), dir = (r / "dir").string();
  struct Case {
    std::optional<std::string> path;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {first + ":" + second, first + "/tool"},
      {plain + ":" + dir + ":" + second, second + "/tool"},
      {plain + ":" + dir, std::nullopt},
      // Relative entries, the empty one included, are looked up from the
      // child's working directory and returned as it will start them.
      {"rel:" + first, "rel/tool"},
      {plain + "::" + first, "./tool"},
      {"", "./tool"},
      {"missing", std::nullopt},
  };
  EnvGuard path_guard("PATH");
  Result<FileDescriptor, int> cwd = FileDescriptor::open_at(AT_FDCWD, (r / "cwd").string(), O_PATH);
  ASSERT_TRUE(cwd.ok());
  for (const Case& c : cases) {
    ::setenv("PATH", c.path->c_str(), 1);
    EXPECT_EQ(find_on_search_path("tool", cwd->get(), Environment()), c.expected) << *c.path;
  }
  ::unsetenv("PATH");
  EXPECT_EQ(find_on_search_path("sh", AT_FDCWD, Environment()), "/bin/sh");
}

}  // namespace
}  // namespace lantor
