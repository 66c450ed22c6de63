// Scratch directories and stand-in programs on PATH for the writer and build
// tests.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "core/project/project_dir.h"
#include "core/project/writer.h"
#include "read_file.h"

namespace lantor::testing {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "lantor_build_XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  fs::path path_;
};

inline void write_text(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

inline void make_executable(const fs::path& p, const std::string& text) {
  write_text(p, text);
  fs::permissions(p, fs::perms::owner_all, fs::perm_options::replace);
}

// The project directory at `dir` opened as a compile opens it: the part
// before the last "/" is the output directory, the rest the crate's name.
inline ProjectDir open_project(const std::string& dir) {
  std::size_t slash = dir.rfind('/');
  if (slash == std::string::npos) return ProjectDir::open(AT_FDCWD, std::string(), dir);
  return ProjectDir::open(AT_FDCWD, slash == 0 ? "/" : dir.substr(0, slash), dir.substr(slash + 1));
}

// write_project into the project directory at `dir`.
inline Status<CompileError> write_project_at(const std::string& dir,
                                             const std::map<std::string, std::string>& files) {
  ProjectDir project = open_project(dir);
  return write_project(project, files);
}

// Restores an environment variable to what it was when the object was made.
class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v;
  }
  ~EnvGuard() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Installs a script of tests/data (`script`, relative to it) as the program
// `name` in a directory of its own and puts that directory first on PATH
// until the object goes.
class StandinProgram {
 public:
  StandinProgram(const std::string& name, const std::string& script) : path_guard_("PATH") {
    fs::path exe = bin_.path() / name;
    fs::copy_file(fs::path(LANTOR_TEST_DATA_DIR) / script, exe);
    fs::permissions(exe, fs::perms::owner_all, fs::perm_options::replace);
    std::string path = bin_.str();
    if (const char* old = std::getenv("PATH")) path += std::string(":") + old;
    ::setenv("PATH", path.c_str(), 1);
  }

 private:
  TempDir bin_;
  EnvGuard path_guard_;
};

// One of the scripts of tests/data/standin_cargo as "cargo".
class StandinCargo : public StandinProgram {
 public:
  explicit StandinCargo(const std::string& script) : StandinProgram("cargo", "standin_cargo/" + script) {}
};

}  // namespace lantor::testing
