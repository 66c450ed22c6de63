#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "core/project/writer.h"
#include "test_build_helpers.h"

namespace lantor {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::TempDir;
using testing::write_text;
// Every test here writes through a project directory opened from a path.
const auto write_project = testing::write_project_at;

using Files = std::map<std::string, std::string>;

const Files kFiles = {
    {".cargo/config.toml", "[build]\ntarget = \"wasm32-unknown-unknown\"\n"},
    {"Cargo.toml", "[package]\nname = \"demo\"\n"},
    {"src/lib.rs", "// lib\n"},
    {"src/spec.json", "{\"symbol\":\"BTC\"}"},
};

TEST(WriterPaths, JoinRule) {
  struct Case {
    const char* base;
    const char* rel;
    const char* joined;
  };
  const Case cases[] = {
      {"_out", "demo", "_out/demo"}, {"out/", "demo", "out/demo"}, {"", "demo", "demo"},
      {"/", "demo", "/demo"},        {"a//", "demo", "a//demo"},  // used unchanged, not normalised
      {"./x", "demo", "./x/demo"},
  };
  for (const Case& c : cases) EXPECT_EQ(join_path(c.base, c.rel), c.joined);
  EXPECT_EQ(project_dir(std::nullopt, "demo"), "_out/demo");
  EXPECT_EQ(project_dir(std::string("o/"), "demo"), "o/demo");
  EXPECT_EQ(project_dir(std::string(""), "demo"), "demo");
}

TEST(WriterPaths, Parent) {
  const std::pair<const char*, const char*> cases[] = {
      {"a/b/c", "a/b"}, {"c", ""}, {"/c", "/"}, {"a//c", "a"}, {"a/b/", "a"}, {"/", ""},
  };
  for (const auto& [path, parent] : cases) EXPECT_EQ(parent_path(path), parent) << path;
}

TEST(Writer, WritesEveryFileAndCreatesDirectories) {
  TempDir tmp;
  std::string dir = (tmp.path() / "out" / "deep" / "demo").string();
  ASSERT_TRUE(write_project(dir, kFiles).ok());
  for (const auto& [rel, text] : kFiles) EXPECT_EQ(read_file(fs::path(dir) / rel), text) << rel;
}

TEST(Writer, NewFilesAndDirectoriesFollowTheCreationMask) {
  TempDir tmp;
  mode_t old = ::umask(027);
  Status<CompileError> written = write_project((tmp.path() / "p").string(), kFiles);
  ::umask(old);
  ASSERT_TRUE(written.ok());
  struct stat st;
  ASSERT_EQ(::stat((tmp.path() / "p/src").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  ASSERT_EQ(::stat((tmp.path() / "p/src/lib.rs").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(Writer, RewritingOverwritesEditsAndLeavesExtraFiles) {
  TempDir tmp;
  std::string dir = (tmp.path() / "demo").string();
  ASSERT_TRUE(write_project(dir, kFiles).ok());
  // A longer hand edit: the rewrite must truncate, not just overwrite.
  write_text(fs::path(dir) / "src/lib.rs", "// edited by hand, and much longer than before\n");
  write_text(fs::path(dir) / "src/extra.rs", "// added by hand\n");
  ASSERT_TRUE(write_project(dir, kFiles).ok());
  EXPECT_EQ(read_file(fs::path(dir) / "src/lib.rs"), "// lib\n");
  EXPECT_EQ(read_file(fs::path(dir) / "src/extra.rs"), "// added by hand\n");
}

// The status of a written file, and its modification time moved a day back
// so that a rewrite cannot land on the same time stamp.
struct stat backdated(const fs::path& p) {
  struct stat st;
  EXPECT_EQ(::stat(p.c_str(), &st), 0);
  timespec times[2] = {st.st_atim, st.st_mtim};
  times[0].tv_sec -= 86400;
  times[1].tv_sec -= 86400;
  EXPECT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
  EXPECT_EQ(::stat(p.c_str(), &st), 0);
  return st;
}

TEST(Writer, IdenticalFilesAreLeftAlone) {
  TempDir tmp;
  std::string dir = (tmp.path() / "demo").string();
  ASSERT_TRUE(write_project(dir, kFiles).ok());
  std::map<std::string, struct stat> before;
  for (const auto& [rel, text] : kFiles) before[rel] = backdated(fs::path(dir) / rel);
  ASSERT_TRUE(write_project(dir, kFiles).ok());
  for (const auto& [rel, text] : kFiles) {
    struct stat after;
    ASSERT_EQ(::stat((fs::path(dir) / rel).c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before[rel].st_ino) << rel;
    EXPECT_EQ(after.st_mtim.tv_sec, before[rel].st_mtim.tv_sec) << rel;
    EXPECT_EQ(after.st_mtim.tv_nsec, before[rel].st_mtim.tv_nsec) << rel;
  }
}

TEST(Writer, DifferentFilesAreReplacedWhole) {
  const std::string text = "// lib\n";
  const char* olds[] = {
      "// lib\n// edited by hand, much longer than the text\n",
      "//",
      "// LIB\n",  // same length, other bytes
      "",
  };
  for (const char* old : olds) {
    TempDir tmp;
    fs::path file = tmp.path() / "demo/src/lib.rs";
    write_text(file, old);
    // A reader that has the old file open, and a hard link to it elsewhere,
    // keep the old text whole: the new one is a new file.
    fs::create_hard_link(file, tmp.path() / "copy.rs");
    int reader = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(write_project((tmp.path() / "demo").string(), {{"src/lib.rs", text}}).ok());
    EXPECT_EQ(read_file(file), text) << old;
    EXPECT_EQ(read_file(tmp.path() / "copy.rs"), old);
    std::string seen(4096, '\0');
    ssize_t n = ::pread(reader, seen.data(), seen.size(), 0);
    ::close(reader);
    EXPECT_EQ(seen.substr(0, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), old);
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1) << old;
  }
}

TEST(Writer, ReadOnlyFileIsRefusedEvenWhenItHoldsTheText) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  for (bool same : {true, false}) {
    TempDir tmp;
    fs::path file = tmp.path() / "demo/Cargo.toml";
    write_text(file, same ? kFiles.at("Cargo.toml") : "stale");
    fs::permissions(file, fs::perms::owner_read, fs::perm_options::replace);
    Status<CompileError> written =
        write_project((tmp.path() / "demo").string(), {{"Cargo.toml", kFiles.at("Cargo.toml")}});
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().text(), "io: writing " + file.string() + ": Permission denied (os error 13)");
  }
}

TEST(Writer, WriteOnlyFileIsStillWritten) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempDir tmp;
  fs::path file = tmp.path() / "demo/Cargo.toml";
  write_text(file, "stale");
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::replace);
  ASSERT_TRUE(write_project((tmp.path() / "demo").string(), {{"Cargo.toml", "new"}}).ok());
  fs::permissions(file, fs::perms::owner_read, fs::perm_options::add);
  EXPECT_EQ(read_file(file), "new");
}

TEST(Writer, FileInADirectoryThatTakesNoNewFileIsRewrittenInPlace) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempDir tmp;
  fs::path file = tmp.path() / "demo/Cargo.toml";
  write_text(file, "stale and longer");
  fs::permissions(file.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
  Status<CompileError> written = write_project((tmp.path() / "demo").string(), {{"Cargo.toml", "new"}});
  fs::permissions(file.parent_path(), fs::perms::owner_all);
  ASSERT_TRUE(written.ok()) << written.error().text();
  EXPECT_EQ(read_file(file), "new");
}

TEST(Writer, OutputDirThatIsAFile) {
  TempDir tmp;
  write_text(tmp.path() / "file", "x");
  std::string dir = (tmp.path() / "file" / "demo").string();
  Status<CompileError> written = write_project(dir, kFiles);
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().kind, CompileError::Kind::Io);
  // The first file in byte order is .cargo/config.toml.
  EXPECT_EQ(written.error().text(), "io: creating " + dir + "/.cargo: Not a directory (os error 20)");
}

TEST(Writer, ProjectDirThatIsAFile) {
  TempDir tmp;
  write_text(tmp.path() / "demo", "x");
  std::string dir = (tmp.path() / "demo").string();
  Status<CompileError> written = write_project(dir, {{"Cargo.toml", "x"}});
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().text(), "io: creating " + dir + ": File exists (os error 17)");
}

TEST(Writer, FileThatIsADirectory) {
  TempDir tmp;
  std::string dir = (tmp.path() / "demo").string();
  fs::create_directories(fs::path(dir) / "Cargo.toml");
  Status<CompileError> written = write_project(dir, kFiles);
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().text(), "io: writing " + dir + "/Cargo.toml: Is a directory (os error 21)");
  // Nothing is rolled back, and nothing after the failure is written.
  EXPECT_TRUE(fs::exists(fs::path(dir) / ".cargo/config.toml"));
  EXPECT_FALSE(fs::exists(fs::path(dir) / "src"));
}

TEST(Writer, UnwritableDirectory) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempDir tmp;
  fs::create_directories(tmp.path() / "ro");
  fs::permissions(tmp.path() / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  std::string dir = (tmp.path() / "ro" / "demo").string();
  Status<CompileError> written = write_project(dir, kFiles);
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().text(), "io: creating " + dir + "/.cargo: Permission denied (os error 13)");
}

TEST(Writer, NulInPath) {
  std::string dir("out\0x/demo", 10);
  Status<CompileError> written = write_project(dir, kFiles);
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().text(),
            "io: creating " + dir + "/.cargo: file name contained an unexpected NUL byte");
}

TEST(Writer, RefusedWriteIsReportedAndKeepsTheOldFile) {
  // A file size limit of two bytes lets the new file be made and refuses the
  // rest of its text.
  TempDir tmp;
  std::string dir = (tmp.path() / "demo").string();
  write_text(fs::path(dir) / "Cargo.toml", "old");
  struct sigaction ignore {
  }, old_action{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &old_action);
  rlimit old_limit{};
  ::getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit small = old_limit;
  small.rlim_cur = 2;
  ::setrlimit(RLIMIT_FSIZE, &small);
  Status<CompileError> written = write_project(dir, {{"Cargo.toml", "data"}});
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  ::sigaction(SIGXFSZ, &old_action, nullptr);
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().text(), "io: writing " + dir + "/Cargo.toml: File too large (os error 27)");
  EXPECT_EQ(read_file(fs::path(dir) / "Cargo.toml"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST(Writer, RelativeDirsAreCreatedFromTheWorkingDirectory) {
  TempDir tmp;
  auto old = fs::current_path();
  fs::current_path(tmp.path());
  Status<CompileError> in_sub = write_project("_out/demo", kFiles);
  Status<CompileError> bare = write_project("demo", kFiles);
  fs::current_path(old);
  ASSERT_TRUE(in_sub.ok());
  ASSERT_TRUE(bare.ok());
  EXPECT_EQ(read_file(tmp.path() / "_out/demo/Cargo.toml"), kFiles.at("Cargo.toml"));
  EXPECT_EQ(read_file(tmp.path() / "demo/src/spec.json"), kFiles.at("src/spec.json"));
}

// What a project directory holds before a write: entries made in order,
// paths relative to a scratch root where "out/demo" is the project directory
// and "outside" is somewhere else.
struct Entry {
  enum Kind { Dir, File, Link, HardLink } kind;
  const char* path;
  const char* what;  // a file's text, a link's target, a hard link's original
};

struct LinkCase {
  const char* name;
  std::vector<Entry> before;
  const char* error;  // "{dir}: {reason}" after "io: creating " and the root; empty for success
  std::vector<std::pair<const char*, const char*>> after;  // path and text, nullptr for absent
};

TEST(Writer, LinksAreReplacedOrRefusedNeverFollowed) {
  const Files files = {{"src/lib.rs", "// lib\n"}, {"src/spec.json", "{}"}};
  const LinkCase cases[] = {
      {"link to a file outside",
       {{Entry::File, "outside/victim", "precious"},
        {Entry::Link, "out/demo/src/spec.json", "../../../outside/victim"}},
       "",
       {{"outside/victim", "precious"}, {"out/demo/src/spec.json", "{}"}}},
      {"dangling link",
       {{Entry::Dir, "outside", ""}, {Entry::Link, "out/demo/src/spec.json", "../../../outside/new"}},
       "",
       {{"outside/new", nullptr}, {"out/demo/src/spec.json", "{}"}}},
      {"link to /dev/null",
       {{Entry::Link, "out/demo/src/spec.json", "/dev/null"}},
       "",
       {{"out/demo/src/spec.json", "{}"}}},
      {"hard link to a file outside",
       {{Entry::File, "outside/victim", "precious"},
        {Entry::Dir, "out/demo/src", ""},
        {Entry::HardLink, "out/demo/src/lib.rs", "outside/victim"}},
       "",
       {{"outside/victim", "precious"}, {"out/demo/src/lib.rs", "// lib\n"}}},
      {"linked src directory",
       {{Entry::Dir, "outside", ""},
        {Entry::Dir, "out/demo", ""},
        {Entry::Link, "out/demo/src", "../../outside"}},
       "out/demo/src: Too many levels of symbolic links (os error 40)",
       {{"outside/lib.rs", nullptr}}},
      {"linked project directory",
       {{Entry::Dir, "outside", ""}, {Entry::Dir, "out", ""}, {Entry::Link, "out/demo", "../outside"}},
       "out/demo/src: Too many levels of symbolic links (os error 40)",
       {{"outside/src", nullptr}}},
      {"linked output directory is the user's choice",
       {{Entry::Dir, "outside", ""}, {Entry::Link, "out", "outside"}},
       "",
       {{"outside/demo/src/lib.rs", "// lib\n"}}},
      // Links to what is not a directory keep the refusals creating the
      // directory through its path gave.
      {"src is a link to a file",
       {{Entry::File, "outside/f", ""},
        {Entry::Dir, "out/demo", ""},
        {Entry::Link, "out/demo/src", "../../outside/f"}},
       "out/demo/src: File exists (os error 17)",
       {}},
      {"src is a dangling link",
       {{Entry::Dir, "out/demo", ""}, {Entry::Link, "out/demo/src", "nowhere"}},
       "out/demo/src: File exists (os error 17)",
       {}},
      {"project directory is a link to a file",
       {{Entry::File, "outside/f", ""}, {Entry::Dir, "out", ""}, {Entry::Link, "out/demo", "../outside/f"}},
       "out/demo/src: Not a directory (os error 20)",
       {}},
  };
  for (const LinkCase& c : cases) {
    TempDir tmp;
    const fs::path& root = tmp.path();
    for (const Entry& e : c.before) {
      fs::path p = root / e.path;
      fs::create_directories(e.kind == Entry::Dir ? p : p.parent_path());
      if (e.kind == Entry::File) write_text(p, e.what);
      if (e.kind == Entry::Link) fs::create_symlink(e.what, p);
      if (e.kind == Entry::HardLink) fs::create_hard_link(root / e.what, p);
    }
    Status<CompileError> written = write_project((root / "out/demo").string(), files);
    if (*c.error == '\0') {
      EXPECT_TRUE(written.ok()) << c.name << ": " << written.error().text();
    } else {
      ASSERT_FALSE(written.ok()) << c.name;
      EXPECT_EQ(written.error().text(), "io: creating " + root.string() + "/" + c.error) << c.name;
    }
    for (const auto& [path, text] : c.after) {
      fs::path p = root / path;
      if (text == nullptr) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(p))) << c.name << ": " << path;
      } else {
        EXPECT_FALSE(fs::is_symlink(p)) << c.name << ": " << path;
        EXPECT_EQ(read_file(p), text) << c.name << ": " << path;
      }
    }
  }
}

}  // namespace
}  // namespace lantor
