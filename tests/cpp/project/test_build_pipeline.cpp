#include <gtest/gtest.h>

#include "core/project/templates.h"
#include "core/project/write_and_build.h"
#include "test_build_helpers.h"

namespace lantor {
namespace {

namespace fs = std::filesystem;
using testing::EnvGuard;
using testing::make_executable;
using testing::read_file;
using testing::StandinCargo;
using testing::StandinProgram;
using testing::TempDir;
using testing::write_text;

// write_and_build with this process's working directory and environment.
Result<std::string, CompileError> write_and_build(const ProjectPlan& plan, const std::string& out_dir) {
  return lantor::write_and_build(plan, out_dir, CallContext());
}

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

// After cargo, a Wasm build runs wasm-bindgen on the module cargo built,
// making the package the response reports, when both are there.

TEST(WasmPackage, BindgenRunsOnTheModuleOfTheBuiltProfile) {
  StandinCargo cargo("make_wasm_module.sh");
  StandinProgram bindgen("wasm-bindgen", "standin_wasm_bindgen/record.sh");
  TempDir out;
  fs::path dir = out.path() / "demo";
  // Debug after release: the package must come from the debug module, not
  // from the release one still lying in target/.
  for (OptLevel level : {OptLevel::Release, OptLevel::Debug}) {
    const char* profile = level == OptLevel::Debug ? "debug" : "release";
    auto built = write_and_build(plan_for({Target::Kind::Wasm, ""}, level), out.str());
    ASSERT_TRUE(built.ok()) << built.error().text();
    EXPECT_EQ(*built, (dir / "pkg/demo_bg.wasm").string());
    EXPECT_EQ(read_file(dir / "bindgen_args.txt"),
              "--target\nweb\n--out-dir\npkg\ntarget/wasm32-unknown-unknown/" + std::string(profile) +
                  "/demo.wasm\n");
    EXPECT_EQ(read_file(dir / "bindgen_cwd.txt"), fs::canonical(dir).string() + "\n");
    EXPECT_EQ(read_file(dir / "pkg/demo_bg.wasm"), "module " + std::string(profile) + "\n");
  }
}

TEST(WasmPackage, SkippedWithoutModuleOrBindgenOrForOtherTargets) {
  struct Case {
    const char* name;
    const char* cargo_script;
    bool bindgen_installed;
    Target target;
  };
  const Case cases[] = {
      {"cargo made no module", "record.sh", true, {Target::Kind::Wasm, ""}},
      {"no wasm-bindgen on PATH", "make_wasm_module.sh", false, {Target::Kind::Wasm, ""}},
      {"binary", "make_wasm_module.sh", true, {Target::Kind::Binary, ""}},
      {"no_std", "make_wasm_module.sh", true, {Target::Kind::NoStd, "thumbv7m-none-eabi"}},
  };
  for (const Case& c : cases) {
    // Only the stand-ins and the shell's own tools, so that a wasm-bindgen
    // installed on this machine is not found.
    EnvGuard path_guard("PATH");
    ::setenv("PATH", "/usr/bin:/bin", 1);
    StandinCargo cargo(c.cargo_script);
    std::optional<StandinProgram> bindgen;
    if (c.bindgen_installed) bindgen.emplace("wasm-bindgen", "standin_wasm_bindgen/record.sh");
    TempDir out;
    auto built = write_and_build(plan_for(c.target, OptLevel::Release), out.str());
    ASSERT_TRUE(built.ok()) << c.name << ": " << built.error().text();
    EXPECT_FALSE(fs::exists(out.path() / "demo/bindgen_args.txt")) << c.name;
    EXPECT_FALSE(fs::exists(out.path() / "demo/pkg")) << c.name;
  }
}

TEST(WasmPackage, BindgenFailuresAreBuildErrors) {
  StandinCargo cargo("make_wasm_module.sh");
  TempDir bin;
  EnvGuard path_guard("PATH");
  ::setenv("PATH", (bin.str() + ":" + std::getenv("PATH")).c_str(), 1);
  struct Case {
    const char* name;
    std::string program;
    std::string expected;
  };
  const Case cases[] = {
      {"fails", "#!/bin/sh\nprintf 'error: schema version mismatch\\n' >&2\nexit 1\n",
       "build: error: schema version mismatch\n"},
      // Found on PATH but not something the system can start.
      {"not a program",
       "\x7f"
       "ELF but not really\n",
       "build: spawning wasm-bindgen: Exec format error (os error 8)"},
  };
  for (const Case& c : cases) {
    make_executable(bin.path() / "wasm-bindgen", c.program);
    TempDir out;
    auto built = write_and_build(plan_for({Target::Kind::Wasm, ""}, OptLevel::Debug), out.str());
    ASSERT_FALSE(built.ok()) << c.name;
    EXPECT_EQ(built.error().text(), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace lantor
