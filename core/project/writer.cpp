#include "core/project/writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "core/base/oserror.h"

namespace lantor {
namespace {

bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

// Opens `path` for writing, retrying after signals; -1 with errno on failure.
int open_retrying(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Writes `bytes` to the start of the freshly opened (or emptied) `fd` and
// closes it. A failing close can mean the data never arrived (a full disk on
// a network file system, say), so it is reported rather than dropped. EINTR
// still closes the descriptor on Linux and says nothing about the data.
Result<Ok> fill_and_close(int fd, std::string_view bytes) {
  Result<Ok> written = write_all(fd, bytes);
  if (::close(fd) != 0 && errno != EINTR && written.ok()) return fail(os_error_text(errno));
  return written;
}

// Creates or truncates `path` and fills it with `bytes`, whatever it held.
Result<Ok> overwrite_file(const std::string& path, std::string_view bytes) {
  int fd = open_retrying(path, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return fail(os_error_text(errno));
  return fill_and_close(fd, bytes);
}

// True when the regular file open on `fd`, `size` bytes long, holds exactly
// `bytes`. A read that fails or comes up short counts as a difference, so
// the file is written again.
bool holds_exactly(int fd, off_t size, std::string_view bytes) {
  if (size < 0 || static_cast<std::uint64_t>(size) != bytes.size()) return false;
  char buf[65536];
  std::size_t done = 0;
  while (done < bytes.size()) {
    std::size_t want = std::min(sizeof buf, bytes.size() - done);
    ssize_t n = ::pread(fd, buf, want, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (std::memcmp(buf, bytes.data() + done, static_cast<std::size_t>(n)) != 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Makes `path` hold `bytes`. A regular file that already holds them is left
// alone, so its modification time stays and cargo sees nothing to rebuild.
//
// The file is opened for reading and writing without truncating, so every
// refusal (a directory in the way, a read-only file, a read-only file
// system) is the one a plain open for writing meets, with the same text;
// a read-only file that holds the right bytes is still refused. Two cases
// take the plain way instead: a file that may be written but not read, and
// anything that is not a regular file (a device, a pipe), which keeps
// whatever a plain open and write do with it.
Result<Ok> write_file(const std::string& path, std::string_view bytes) {
  if (has_nul(path)) return fail(std::string(kNulInPathText));
  int fd = open_retrying(path, O_RDWR | O_CREAT);
  if (fd < 0) {
    if (errno == EACCES) return overwrite_file(path, bytes);
    return fail(os_error_text(errno));
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return overwrite_file(path, bytes);
  }
  if (holds_exactly(fd, st.st_size, bytes)) {
    ::close(fd);  // nothing was written, so nothing can be lost
    return Ok{};
  }
  int truncated;
  do {
    truncated = ::ftruncate(fd, 0);
  } while (truncated != 0 && errno == EINTR);
  if (truncated != 0) {
    int err = errno;
    ::close(fd);
    return fail(os_error_text(err));
  }
  // pread left the offset at the start, so the write begins there.
  return fill_and_close(fd, bytes);
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

Result<Ok> create_dirs(const std::string& dir) {
  if (has_nul(dir)) return fail(std::string(kNulInPathText));
  if (::mkdir(dir.c_str(), 0777) == 0) return Ok{};
  int err = errno;
  if (err == ENOENT) {
    // Something above is missing: make the ancestors first, outermost
    // first by recursion, then try this level again.
    std::string parent = parent_path(dir);
    if (!parent.empty() && parent != dir) LANTOR_TRY(create_dirs(parent));
    if (::mkdir(dir.c_str(), 0777) == 0) return Ok{};
    err = errno;
  }
  // EEXIST from a directory that was already there, or that another process
  // created in the meantime, is success; a file of another kind is not.
  if (is_directory(dir)) return Ok{};
  return fail(os_error_text(err));
}

Status<CompileError> write_project(std::string_view dir, const std::map<std::string, std::string>& contents) {
  for (const auto& [rel, text] : contents) {
    std::string full = join_path(dir, rel);
    std::string parent = parent_path(full);
    if (!parent.empty()) {
      Result<Ok> made = create_dirs(parent);
      if (!made.ok()) {
        return fail(CompileError{CompileError::Kind::Io, "creating " + parent + ": " + made.error()});
      }
    }
    Result<Ok> written = write_file(full, text);
    if (!written.ok()) {
      return fail(CompileError{CompileError::Kind::Io, "writing " + full + ": " + written.error()});
    }
  }
  return Ok{};
}

}  // namespace lantor
