// The directory a compile writes its project into and builds it in, held
// open from the output directory down.
//
// The output directory is the user's choice and is found however its path
// leads, through links too. Below it nothing is: the project directory and
// the directories inside it are opened without following a link, and every
// file is then reached by name through the handle of its directory, so that
// neither a link planted in the project nor a path swapped while the compile
// runs sends a write outside it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/call_context.h"
#include "core/base/file.h"
#include "core/base/result.h"
#include "core/project/compile_error.h"

namespace lantor {

// Why a directory on the way to a file could not be opened. Reported as
// "creating {the file's parent}: {text}", it reads as the text creating the
// parent through its path would give, except that a link to a directory in
// the project is refused with the system's text for a link met where none is
// followed.
struct DirRefusal {
  enum class Kind {
    Error,            // the system's `err`
    NotADirectory,    // something else stands there (a link to one too)
    DanglingLink,     // a link to nothing
    LinkedDirectory,  // a link to a directory
    NulInPath,        // the output directory's path holds a NUL
  };
  Kind kind = Kind::Error;
  int err = 0;
  // True when the directory refused is the file's parent itself rather than
  // a directory above it.
  bool innermost = false;

  std::string text() const;
};

// A relative file path cut into its directory ("" for none) and its name.
struct DirAndName {
  std::string_view dir;
  std::string name;
};
DirAndName split_dir_and_name(std::string_view rel_path);

class ProjectDir {
 public:
  // Opens the output directory (`out_dir`, or "_out", relative to the
  // directory handle `base` unless absolute), creating it and its missing
  // ancestors, then the project directory `crate_name` inside it, created if
  // missing and never through a link. Does not fail: a refusal is kept and
  // reported for the first file written (see subdir).
  static ProjectDir open(int base, const std::optional<std::string>& out_dir, std::string_view crate_name);

  // The project directory's path as responses and messages give it: the
  // output directory joined with the crate name, unchanged.
  const std::string& path() const { return path_; }
  bool is_open() const { return root_.ok(); }
  // The project directory's handle; only when is_open().
  int fd() const { return root_->get(); }

  // Waits for and takes the project's lock, an advisory lock on the project
  // directory itself, which every compile into it takes for its write and
  // build; it is held until this object goes. Another compile into the same
  // project waits here. A wait that a signal interrupts ends when `context`
  // says so, with the Io error "locking {path}: {system text}". Where no lock
  // can be had (a file system without them, a directory that cannot be
  // opened for reading) the compile goes on without it. Nothing to do when
  // the directory is not open.
  Status<CompileError> lock(const CallContext& context);

  // The directory handle of `rel_dir` inside the project ("" for the project
  // directory itself, "src", ...), every level opened without following a
  // link and, with `create`, created when missing (mode 0777 less the
  // creation mask). Handles stay open with this object.
  Result<int, DirRefusal> subdir(std::string_view rel_dir, bool create);

 private:
  ProjectDir(std::string path, Result<FileDescriptor, DirRefusal> root)
      : path_(std::move(path)), root_(std::move(root)) {}

  std::string path_;
  Result<FileDescriptor, DirRefusal> root_;
  std::vector<std::pair<std::string, FileDescriptor>> subdirs_;
  FileDescriptor lock_;
};

}  // namespace lantor
