// Open file descriptors that close themselves, opening relative to a
// directory handle, and one loop that reads a file to its end.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "core/base/result.h"

namespace lantor {

// A heap byte buffer that is not zero-filled before it is read into.
struct ByteBuffer {
  std::unique_ptr<unsigned char[]> data;
  std::size_t size = 0;

  std::string_view view() const { return {reinterpret_cast<const char*>(data.get()), size}; }
};

// An open file descriptor, closed when it goes. The empty one holds -1.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  // Takes ownership of `fd` (-1 for none).
  explicit FileDescriptor(int fd) : fd_(fd) {}

  // Opens `path`, relative to the directory handle `dir` (AT_FDCWD for the
  // working directory) unless it is absolute, with `flags` and close-on-exec,
  // again when a signal interrupts. `mode` is for a file that O_CREAT makes.
  // The error is errno.
  static Result<FileDescriptor, int> open_at(int dir, const std::string& path, int flags, mode_t mode = 0);
  // open_at read-only, with `flags` added (such as O_NOFOLLOW).
  static Result<FileDescriptor, int> open_for_reading(int dir, const std::string& path, int flags = 0) {
    return open_at(dir, path, O_RDONLY | flags);
  }
  static Result<FileDescriptor, int> open_for_reading(const std::string& path, int flags = 0) {
    return open_for_reading(AT_FDCWD, path, flags);
  }

  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes the descriptor now, if there is one.
  void reset();
  // Gives the descriptor up without closing it, leaving this one empty.
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

// Reads `fd` from where it stands to the end. The size the system reports is
// only the first guess of the capacity: the file may have grown, or be a
// special file reporting 0. The error is errno.
Result<ByteBuffer, int> read_whole_file(const FileDescriptor& fd);

// The same for the file at `path`, opened as open_for_reading does, relative
// to `dir` or to the working directory.
Result<ByteBuffer, int> read_whole_file(int dir, const std::string& path);
Result<ByteBuffer, int> read_whole_file(const std::string& path);

}  // namespace lantor
