#include <gtest/gtest.h>

#include "core/project/templates.h"
#include "core/project/write_and_build.h"
#include "test_build_helpers.h"

namespace lantor {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::StandinCargo;
using testing::TempDir;
using testing::write_text;

// A plan with the file set of `target`, as the builder would lay it out.
ProjectPlan plan_for(const Target& target, OptLevel level) {
  ProjectPlan plan;
  plan.target = target;
  plan.opt_level = level;
  plan.crate_name = "demo";
  plan.contents = {{"Cargo.toml", "[package]\nname = \"demo\"\n"}, {"src/spec.json", "{}"}};
  if (auto config = build_config(target)) plan.contents[".cargo/config.toml"] = *config;
  plan.contents[std::string(main_source_path(target.kind))] = std::string(main_source(target.kind));
  return plan;
}

TEST(BuildPipeline, BinaryAfterWasmSeesNoStaleConfiguration) {
  StandinCargo cargo("record.sh");
  TempDir out;
  fs::path dir = out.path() / "demo";

  auto first = write_and_build(plan_for({Target::Kind::Wasm, ""}, OptLevel::Release), out.str());
  ASSERT_TRUE(first.ok()) << first.error().text();
  EXPECT_EQ(*first, dir.string() + "/pkg/demo_bg.wasm");
  EXPECT_EQ(read_file(dir / "standin_config_exists.txt"), "yes\n");

  auto second = write_and_build(plan_for({Target::Kind::Binary, ""}, OptLevel::Release), out.str());
  ASSERT_TRUE(second.ok()) << second.error().text();
  EXPECT_EQ(*second, dir.string() + "/target/release/demo");
  EXPECT_EQ(read_file(dir / "standin_config_exists.txt"), "no\n");
  EXPECT_EQ(read_file(dir / "standin_args.txt"), "build\n--release\n");
  EXPECT_FALSE(fs::exists(dir / "src/lib.rs"));
}

TEST(BuildPipeline, HandEditedConfigurationIsKept) {
  StandinCargo cargo("record.sh");
  TempDir out;
  fs::path dir = out.path() / "demo";
  ASSERT_TRUE(write_and_build(plan_for({Target::Kind::Wasm, ""}, OptLevel::Debug), out.str()).ok());
  write_text(dir / ".cargo/config.toml", "[build]\ntarget = \"wasm32-unknown-unknown\"\njobs = 1\n");
  ASSERT_TRUE(write_and_build(plan_for({Target::Kind::Binary, ""}, OptLevel::Debug), out.str()).ok());
  EXPECT_EQ(read_file(dir / "standin_config_exists.txt"), "yes\n");
}

TEST(BuildPipeline, WriteFailureRunsNoBuild) {
  StandinCargo cargo("record.sh");
  TempDir out;
  write_text(out.path() / "file", "");
  std::string out_dir = (out.path() / "file").string();
  auto built = write_and_build(plan_for({Target::Kind::Binary, ""}, OptLevel::Debug), out_dir);
  ASSERT_FALSE(built.ok());
  EXPECT_EQ(built.error().text(), "io: creating " + out_dir + "/demo: Not a directory (os error 20)");
}

TEST(BuildPipeline, BuildFailureKeepsTheWrittenProject) {
  testing::EnvGuard path_guard("PATH");
  TempDir empty_bin, out;
  ::setenv("PATH", empty_bin.str().c_str(), 1);
  auto built = write_and_build(plan_for({Target::Kind::Binary, ""}, OptLevel::Size), out.str() + "/");
  ASSERT_FALSE(built.ok());
  EXPECT_EQ(built.error().text(), "build: spawning cargo: No such file or directory (os error 2)");
  EXPECT_TRUE(fs::exists(out.path() / "demo/src/main.rs"));
}

}  // namespace
}  // namespace lantor
