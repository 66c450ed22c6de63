// Reading whole files: a descriptor that is closed however the reading ends,
// and one loop that reads a file to its end.
#pragma once

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

// An open file descriptor, closed when it goes.
class FileDescriptor {
 public:
  // Opens `path` read-only and close-on-exec, with `flags` added (such as
  // O_NOFOLLOW), again when a signal interrupts. The error is errno.
  static Result<FileDescriptor, int> open_for_reading(const std::string& path, int flags = 0);

  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const { return fd_; }

 private:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  int fd_;
};

// Reads `fd` from where it stands to the end. The size the system reports is
// only the first guess of the capacity: the file may have grown, or be a
// special file reporting 0. The error is errno.
Result<ByteBuffer, int> read_whole_file(const FileDescriptor& fd);

// The same for the file at `path`, opened as open_for_reading does.
Result<ByteBuffer, int> read_whole_file(const std::string& path);

}  // namespace lantor
