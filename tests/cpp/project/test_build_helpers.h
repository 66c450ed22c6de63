// Scratch directories and a stand-in cargo on PATH for the writer and build
// tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>

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

// Restores an environment variable to what it was when the object was made.
class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v;
  }
  ~EnvGuard() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Installs one of the scripts of tests/data/standin_cargo as "cargo" in a
// directory of its own and puts that directory first on PATH until the
// object goes.
class StandinCargo {
 public:
  explicit StandinCargo(const std::string& script) : path_guard_("PATH") {
    fs::path exe = bin_.path() / "cargo";
    fs::copy_file(fs::path(LANTOR_TEST_DATA_DIR) / "standin_cargo" / script, exe);
    fs::permissions(exe, fs::perms::owner_all, fs::perm_options::replace);
    std::string path = bin_.str();
    if (const char* old = std::getenv("PATH")) path += std::string(":") + old;
    ::setenv("PATH", path.c_str(), 1);
  }

 private:
  TempDir bin_;
  EnvGuard path_guard_;
};

}  // namespace lantor::testing
