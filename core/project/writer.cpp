#include "core/project/writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "core/base/file.h"
#include "core/base/oserror.h"

namespace lantor {
namespace {

// How many names a new file tries before giving up: another process's file
// can hold a name only when it has the same process id.
constexpr int kNewFileAttempts = 100;

bool is_directory(int base, const std::string& path) {
  struct stat st;
  return ::fstatat(base, path.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

// Writes all of `bytes` to `fd`: interrupted writes are retried and short
// writes continue with the rest. A write that moves nothing would loop for
// ever, so it is a failure of its own.
Result<Ok> write_all(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(os_error_text(errno));
    }
    if (n == 0) return fail(std::string(kWriteZeroText));
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return Ok{};
}

// Writes `bytes` to the start of the freshly opened (or emptied) `fd` and
// closes it. A failing close can mean the data never arrived (a full disk on
// a network file system, say), so it is reported rather than dropped. EINTR
// still closes the descriptor on Linux and says nothing about the data.
Result<Ok> fill_and_close(FileDescriptor fd, std::string_view bytes) {
  Result<Ok> written = write_all(fd.get(), bytes);
  if (::close(fd.release()) != 0 && errno != EINTR && written.ok()) return fail(os_error_text(errno));
  return written;
}

// True when the regular file `name` in `dir`, `size` bytes long, holds
// exactly `bytes`. A file that cannot be read (a write-only one) or a read
// that fails or comes up short counts as a difference, so the file is
// written again.
bool holds_exactly(int dir, const std::string& name, off_t size, std::string_view bytes) {
  if (size < 0 || static_cast<std::uint64_t>(size) != bytes.size()) return false;
  Result<FileDescriptor, int> fd = FileDescriptor::open_at(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  if (!fd.ok()) return false;
  char buf[65536];
  std::size_t done = 0;
  while (done < bytes.size()) {
    std::size_t want = std::min(sizeof buf, bytes.size() - done);
    ssize_t n = ::pread(fd->get(), buf, want, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (std::memcmp(buf, bytes.data() + done, static_cast<std::size_t>(n)) != 0) return false;
    done += static_cast<std::size_t>(n);
  }
  // The file may hold more than its reported size by now.
  char probe;
  return ::pread(fd->get(), &probe, 1, static_cast<off_t>(done)) == 0;
}

// A name for a new file beside `name`, hidden and unlikely to be taken.
std::string new_file_name(const std::string& name) {
  static std::atomic<std::uint64_t> counter{0};
  return "." + name + "." + std::to_string(::getpid()) + "." +
         std::to_string(counter.fetch_add(1, std::memory_order_relaxed)) + ".new";
}

// Truncates the regular file open on `fd` and writes `bytes` into it.
Result<Ok> rewrite_in_place(FileDescriptor fd, std::string_view bytes) {
  int truncated;
  do {
    truncated = ::ftruncate(fd.get(), 0);
  } while (truncated != 0 && errno == EINTR);
  if (truncated != 0) return fail(os_error_text(errno));
  return fill_and_close(std::move(fd), bytes);
}

// Puts a new file holding `bytes` at `name` in `dir`, replacing whatever
// stands there (a file, a link). `existing`, when given, is the regular file
// at `name` open for writing: it is written in place should no new file be
// allowed in `dir`.
Result<Ok> replace_file(int dir, const std::string& name, std::string_view bytes,
                        std::optional<FileDescriptor> existing) {
  std::string temp;
  Result<FileDescriptor, int> fresh = fail(EEXIST);
  for (int attempt = 0; attempt < kNewFileAttempts && !fresh.ok() && fresh.error() == EEXIST; ++attempt) {
    temp = new_file_name(name);
    fresh = FileDescriptor::open_at(dir, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
  }
  if (!fresh.ok()) {
    if (existing) return rewrite_in_place(std::move(*existing), bytes);
    return fail(os_error_text(fresh.error()));
  }
  Result<Ok> filled = fill_and_close(std::move(fresh).value(), bytes);
  if (filled.ok() && ::renameat(dir, temp.c_str(), dir, name.c_str()) != 0)
    filled = fail(os_error_text(errno));
  if (!filled.ok()) ::unlinkat(dir, temp.c_str(), 0);
  return filled;
}

// Makes `name` in `dir` hold `bytes`, as write_project says.
Result<Ok> write_file(int dir, const std::string& name, std::string_view bytes) {
  struct stat st;
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) return fail(os_error_text(errno));
    return replace_file(dir, name, bytes, std::nullopt);
  }
  // A link is replaced without being opened.
  if (S_ISLNK(st.st_mode)) return replace_file(dir, name, bytes, std::nullopt);
  // O_NONBLOCK: a FIFO without a reader refuses at once instead of waiting
  // for one. O_NOFOLLOW: a link put there since is refused, not followed.
  Result<FileDescriptor, int> opened =
      FileDescriptor::open_at(dir, name, O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
  if (!opened.ok()) return fail(os_error_text(opened.error()));
  if (::fstat(opened->get(), &st) != 0 || !S_ISREG(st.st_mode))
    return replace_file(dir, name, bytes, std::nullopt);
  if (holds_exactly(dir, name, st.st_size, bytes)) return Ok{};
  return replace_file(dir, name, bytes, std::move(opened).value());
}

}  // namespace

std::string join_path(std::string_view base, std::string_view rel) {
  std::string out(base);
  if (!out.empty() && out.back() != '/') out += '/';
  out += rel;
  return out;
}

std::string project_dir(const std::optional<std::string>& out_dir, std::string_view crate_name) {
  return join_path(out_dir ? std::string_view(*out_dir) : kDefaultOutDir, crate_name);
}

std::string parent_path(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  std::size_t slash = path.rfind('/');
  // No directory part, or the root itself, which has no parent.
  if (slash == std::string_view::npos || path == "/") return {};
  std::string_view parent = path.substr(0, slash);
  while (parent.size() > 1 && parent.back() == '/') parent.remove_suffix(1);
  // The parent of "/x" is the root itself.
  if (parent.empty()) return "/";
  return std::string(parent);
}

Result<Ok, int> create_dirs(int base, const std::string& dir) {
  if (::mkdirat(base, dir.c_str(), 0777) == 0) return Ok{};
  int err = errno;
  if (err == ENOENT) {
    // Something above is missing: make the ancestors first, outermost
    // first by recursion, then try this level again.
    std::string parent = parent_path(dir);
    if (!parent.empty() && parent != dir) LANTOR_TRY(create_dirs(base, parent));
    if (::mkdirat(base, dir.c_str(), 0777) == 0) return Ok{};
    err = errno;
  }
  // EEXIST from a directory that was already there, or that another process
  // created in the meantime, is success; a file of another kind is not.
  if (is_directory(base, dir)) return Ok{};
  return fail(err);
}

Status<CompileError> write_project(ProjectDir& project, const std::map<std::string, std::string>& contents) {
  for (const auto& [rel, text] : contents) {
    std::string full = join_path(project.path(), rel);
    DirAndName where = split_dir_and_name(rel);
    Result<int, DirRefusal> dir = project.subdir(where.dir, true);
    if (!dir.ok()) {
      return fail(
          CompileError{CompileError::Kind::Io, "creating " + parent_path(full) + ": " + dir.error().text()});
    }
    Result<Ok> written = write_file(*dir, where.name, text);
    if (!written.ok()) {
      return fail(CompileError{CompileError::Kind::Io, "writing " + full + ": " + written.error()});
    }
  }
  return Ok{};
}

}  // namespace lantor
