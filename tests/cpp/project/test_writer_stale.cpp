#include <gtest/gtest.h>

#include <algorithm>

#include "core/project/retired_texts.h"
#include "core/project/stale.h"
#include "core/project/templates.h"
#include "core/project/writer.h"
#include "test_build_helpers.h"

namespace lantor {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::TempDir;
using testing::write_text;
const auto write_project = testing::write_project_at;

Status<CompileError> remove_stale_files(const std::string& dir,
                                        const std::map<std::string, std::string>& plan,
                                        const std::vector<GeneratedFile>& known) {
  ProjectDir project = testing::open_project(dir);
  return lantor::remove_stale_files(project, plan, known);
}

Status<CompileError> remove_stale_generated(const std::string& dir,
                                            const std::map<std::string, std::string>& plan) {
  ProjectDir project = testing::open_project(dir);
  return lantor::remove_stale_generated(project, plan);
}

const std::vector<GeneratedFile> kKnown = {
    {".cargo/config.toml", {"[build]\ntarget = \"a\"\n", "[build]\ntarget = \"bb\"\n"}},
    {"src/lib.rs", {"// lib\n"}},
    {"src/main.rs", {"// main\n"}},
};

struct StaleCase {
  const char* name;
  std::map<std::string, std::string> on_disk;  // written before the mend
  std::map<std::string, std::string> plan;     // the new file set
  std::vector<std::string> removed;            // expected gone afterwards
};

TEST(WriterStale, RemovesOnlyUnchangedGeneratedFilesOutsideThePlan) {
  const std::map<std::string, std::string> binary_plan = {
      {"Cargo.toml", "x"}, {"src/main.rs", "// main\n"}, {"src/spec.json", "{}"}};
  const StaleCase cases[] = {
      {"earlier wasm files",
       {{".cargo/config.toml", "[build]\ntarget = \"bb\"\n"}, {"src/lib.rs", "// lib\n"}},
       binary_plan,
       {".cargo/config.toml", "src/lib.rs"}},
      {"hand-edited configuration stays",
       {{".cargo/config.toml", "[build]\ntarget = \"bb\"\nrustflags = []\n"}, {"src/lib.rs", "// lib\n"}},
       binary_plan,
       {"src/lib.rs"}},
      {"same length, other bytes", {{".cargo/config.toml", "[build]\ntarget = \"cc\"\n"}}, binary_plan, {}},
      {"files in the new plan are left for the writer",
       {{".cargo/config.toml", "[build]\ntarget = \"a\"\n"}, {"src/main.rs", "// main\n"}},
       {{".cargo/config.toml", "[build]\ntarget = \"bb\"\n"}, {"src/lib.rs", "// lib\n"}},
       {"src/main.rs"}},
      {"other files are never looked at",
       {{"src/candles.csv", "// lib\n"}, {"notes.txt", "// main\n"}},
       binary_plan,
       {}},
  };
  for (const StaleCase& c : cases) {
    TempDir dir;
    for (const auto& [rel, text] : c.on_disk) write_text(dir.path() / rel, text);
    Status<CompileError> mended = remove_stale_files(dir.str(), c.plan, kKnown);
    ASSERT_TRUE(mended.ok()) << c.name;
    for (const auto& [rel, text] : c.on_disk) {
      bool expect_gone = std::find(c.removed.begin(), c.removed.end(), rel) != c.removed.end();
      EXPECT_EQ(fs::exists(dir.path() / rel), !expect_gone) << c.name << ": " << rel;
    }
  }
}

TEST(WriterStale, LeavesWhatIsNotARegularFile) {
  TempDir dir;
  // A link to a file that holds a generated text, and a directory in the
  // place of another: neither was made by the compiler.
  write_text(dir.path() / "elsewhere.rs", "// lib\n");
  fs::create_directories(dir.path() / "src");
  fs::create_symlink(dir.path() / "elsewhere.rs", dir.path() / "src/lib.rs");
  fs::create_directories(dir.path() / "src/main.rs");
  ASSERT_TRUE(remove_stale_files(dir.str(), {}, kKnown).ok());
  EXPECT_TRUE(fs::is_symlink(dir.path() / "src/lib.rs"));
  EXPECT_TRUE(fs::exists(dir.path() / "elsewhere.rs"));
  EXPECT_TRUE(fs::is_directory(dir.path() / "src/main.rs"));
}

TEST(WriterStale, NoDirectoryOnTheWayIsFollowed) {
  TempDir root;
  // The project's src/ is a link to a directory elsewhere that holds a file
  // with a generated text: it is not the project's, and stays.
  write_text(root.path() / "elsewhere/lib.rs", "// lib\n");
  fs::create_directories(root.path() / "demo");
  fs::create_symlink(root.path() / "elsewhere", root.path() / "demo/src");
  ASSERT_TRUE(remove_stale_files((root.path() / "demo").string(), {}, kKnown).ok());
  EXPECT_EQ(read_file(root.path() / "elsewhere/lib.rs"), "// lib\n");
}

TEST(WriterStale, MissingProjectDirIsNothingToDo) {
  TempDir dir;
  EXPECT_TRUE(remove_stale_files((dir.path() / "absent").string(), {}, kKnown).ok());
}

TEST(WriterStale, UnremovableFileIsAnError) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempDir dir;
  write_text(dir.path() / "src/lib.rs", "// lib\n");
  fs::permissions(dir.path() / "src", fs::perms::owner_read | fs::perms::owner_exec);
  Status<CompileError> mended = remove_stale_files(dir.str(), {}, kKnown);
  fs::permissions(dir.path() / "src", fs::perms::owner_all);
  ASSERT_FALSE(mended.ok());
  EXPECT_EQ(mended.error().text(),
            "io: removing " + dir.str() + "/src/lib.rs: Permission denied (os error 13)");
}

}  // namespace
}  // namespace lantor

namespace lantor {
namespace {

std::map<std::string, std::string> files_for(const Target& target) {
  std::map<std::string, std::string> files = {{"Cargo.toml", "[package]\n"}, {"src/spec.json", "{}"}};
  if (auto config = build_config(target)) files[".cargo/config.toml"] = *config;
  files[std::string(main_source_path(target.kind))] = std::string(main_source(target.kind));
  return files;
}

TEST(WriterStale, KnowsEveryGeneratedVariant) {
  std::vector<GeneratedFile> known = target_specific_files();
  ASSERT_EQ(known.size(), 3u);
  EXPECT_EQ(known[0].path, ".cargo/config.toml");
  EXPECT_EQ(known[0].texts.size(), 8u);  // wasm32 and the seven MCU triples
  EXPECT_EQ(known[0].texts[0], "[build]\ntarget = \"wasm32-unknown-unknown\"\n");
  EXPECT_EQ(known[1].path, "src/lib.rs");
  EXPECT_EQ(known[1].texts.size(), 3u);  // Wasm, NoStd and the retired NoStd
  EXPECT_EQ(known[2].path, "src/main.rs");
  EXPECT_EQ(known[2].texts.size(), 1u);
}

TEST(WriterStale, SwitchingTargetsInOneProjectDir) {
  const Target wasm{Target::Kind::Wasm, ""};
  const Target binary{Target::Kind::Binary, ""};
  const Target mcu{Target::Kind::NoStd, "thumbv7m-none-eabi"};
  struct Case {
    Target first, second;
    std::vector<std::string> gone;
  };
  const Case cases[] = {
      {wasm, binary, {".cargo/config.toml", "src/lib.rs"}},
      {mcu, binary, {".cargo/config.toml", "src/lib.rs"}},
      {binary, wasm, {"src/main.rs"}},
      {binary, mcu, {"src/main.rs"}},
      {wasm, mcu, {}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto first = files_for(c.first), second = files_for(c.second);
    ASSERT_TRUE(write_project(dir.str(), first).ok());
    ASSERT_TRUE(remove_stale_generated(dir.str(), second).ok());
    ASSERT_TRUE(write_project(dir.str(), second).ok());
    for (const auto& [rel, text] : first) {
      bool gone = std::find(c.gone.begin(), c.gone.end(), rel) != c.gone.end();
      EXPECT_EQ(fs::exists(dir.path() / rel), !gone) << rel;
    }
    for (const auto& [rel, text] : second) EXPECT_EQ(read_file(dir.path() / rel), text) << rel;
  }
}

TEST(WriterStale, NoStdSourceOfEarlierVersionsIsRecognised) {
  TempDir dir;
  const Target mcu{Target::Kind::NoStd, "thumbv7m-none-eabi"};
  auto earlier = files_for(mcu);
  earlier["src/lib.rs"] = std::string(kRetiredNoStdLibSource);
  ASSERT_TRUE(write_project(dir.str(), earlier).ok());
  ASSERT_TRUE(remove_stale_generated(dir.str(), files_for({Target::Kind::Binary, ""})).ok());
  EXPECT_FALSE(fs::exists(dir.path() / "src/lib.rs"));
  EXPECT_FALSE(fs::exists(dir.path() / ".cargo/config.toml"));
}

TEST(WriterStale, HandEditedConfigurationSurvivesABinaryCompile) {
  TempDir dir;
  const Target mcu{Target::Kind::NoStd, "thumbv6m-none-eabi"};
  ASSERT_TRUE(write_project(dir.str(), files_for(mcu)).ok());
  const std::string edited = *build_config(mcu) + "\n[net]\noffline = true\n";
  write_text(dir.path() / ".cargo/config.toml", edited);
  ASSERT_TRUE(remove_stale_generated(dir.str(), files_for({Target::Kind::Binary, ""})).ok());
  EXPECT_EQ(read_file(dir.path() / ".cargo/config.toml"), edited);
  EXPECT_FALSE(fs::exists(dir.path() / "src/lib.rs"));
}

}  // namespace
}  // namespace lantor
