#include "core/project/project_dir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

#include "core/base/oserror.h"
#include "core/project/writer.h"

namespace lantor {
namespace {

DirRefusal refusal(DirRefusal::Kind kind, int err = 0) { return DirRefusal{kind, err, false}; }

// What stands at `name` in `at`, which is not a directory that can be opened
// without following a link.
DirRefusal::Kind what_is_there(int at, const std::string& name) {
  struct stat st;
  if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
    return DirRefusal::Kind::NotADirectory;
  if (::fstatat(at, name.c_str(), &st, 0) != 0) return DirRefusal::Kind::DanglingLink;
  return S_ISDIR(st.st_mode) ? DirRefusal::Kind::LinkedDirectory : DirRefusal::Kind::NotADirectory;
}

// Opens the directory `name` in `at` with `flags`, never through a link,
// creating it first when asked.
Result<FileDescriptor, DirRefusal> open_level(int at, const std::string& name, bool create, int flags) {
  if (create && ::mkdirat(at, name.c_str(), 0777) != 0 && errno != EEXIST)
    return fail(refusal(DirRefusal::Kind::Error, errno));
  Result<FileDescriptor, int> dir = FileDescriptor::open_at(at, name, flags | O_DIRECTORY | O_NOFOLLOW);
  if (dir.ok()) return std::move(dir).value();
  // O_NOFOLLOW with O_DIRECTORY says ENOTDIR for a link as for a file.
  if (dir.error() != ENOTDIR && dir.error() != ELOOP)
    return fail(refusal(DirRefusal::Kind::Error, dir.error()));
  return fail(refusal(what_is_there(at, name)));
}

// The output directory, found however its path leads and created with its
// missing ancestors.
Result<FileDescriptor, DirRefusal> open_out_dir(int base, const std::string& out_dir) {
  Result<FileDescriptor, int> dir = FileDescriptor::open_at(base, out_dir, O_PATH | O_DIRECTORY);
  if (!dir.ok() && dir.error() == ENOENT) {
    if (Result<Ok, int> made = create_dirs(base, out_dir); !made.ok())
      return fail(refusal(DirRefusal::Kind::Error, made.error()));
    dir = FileDescriptor::open_at(base, out_dir, O_PATH | O_DIRECTORY);
  }
  if (!dir.ok()) return fail(refusal(DirRefusal::Kind::Error, dir.error()));
  return std::move(dir).value();
}

Result<FileDescriptor, DirRefusal> open_root(int base, const std::string& out_dir, const std::string& crate) {
  if (has_nul(out_dir) || has_nul(crate)) return fail(refusal(DirRefusal::Kind::NulInPath));
  if (out_dir.empty()) return open_level(base, crate, true, O_PATH);
  LANTOR_ASSIGN_OR_RETURN(FileDescriptor out, open_out_dir(base, out_dir));
  return open_level(out.get(), crate, true, O_PATH);
}

}  // namespace

DirAndName split_dir_and_name(std::string_view rel_path) {
  std::size_t slash = rel_path.rfind('/');
  if (slash == std::string_view::npos) return {{}, std::string(rel_path)};
  return {rel_path.substr(0, slash), std::string(rel_path.substr(slash + 1))};
}

std::string DirRefusal::text() const {
  switch (kind) {
    case Kind::Error: return os_error_text(err);
    // What creating the directory through its path meets: the name taken
    // when it is the directory asked for, a file in the way when it is one
    // above it. A link to nothing is a name taken either way.
    case Kind::NotADirectory: return os_error_text(innermost ? EEXIST : ENOTDIR);
    case Kind::DanglingLink: return os_error_text(EEXIST);
    case Kind::LinkedDirectory: return os_error_text(ELOOP);
    case Kind::NulInPath: return std::string(kNulInPathText);
  }
  return {};
}

ProjectDir ProjectDir::open(int base, const std::optional<std::string>& out_dir,
                            std::string_view crate_name) {
  std::string out(out_dir ? std::string_view(*out_dir) : kDefaultOutDir);
  std::string crate(crate_name);
  return {join_path(out, crate), open_root(base, out, crate)};
}

Status<CompileError> ProjectDir::lock(const CallContext& context) {
  if (!root_.ok()) return Ok{};
  // flock needs a descriptor opened for reading; the handle is O_PATH.
  Result<FileDescriptor, int> handle = FileDescriptor::open_at(root_->get(), ".", O_RDONLY | O_DIRECTORY);
  if (!handle.ok()) return Ok{};
  while (::flock(handle->get(), LOCK_EX) != 0) {
    if (errno != EINTR) return Ok{};
    if (context.stop_after_interrupt())
      return fail(CompileError{CompileError::Kind::Io, "locking " + path_ + ": " + os_error_text(EINTR)});
  }
  lock_ = std::move(handle).value();
  return Ok{};
}

Result<int, DirRefusal> ProjectDir::subdir(std::string_view rel_dir, bool create) {
  if (!root_.ok()) {
    DirRefusal refused = root_.error();
    refused.innermost = rel_dir.empty();
    return fail(refused);
  }
  if (rel_dir.empty()) return root_->get();
  for (const auto& [name, handle] : subdirs_) {
    if (name == rel_dir) return handle.get();
  }
  FileDescriptor opened;
  int at = root_->get();
  std::string_view rest = rel_dir;
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string name(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    Result<FileDescriptor, DirRefusal> level = open_level(at, name, create, O_PATH);
    if (!level.ok()) {
      DirRefusal refused = level.error();
      refused.innermost = rest.empty();
      return fail(refused);
    }
    opened = std::move(level).value();
    at = opened.get();
  }
  subdirs_.emplace_back(std::string(rel_dir), std::move(opened));
  return at;
}

}  // namespace lantor
