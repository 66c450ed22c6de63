#include "core/base/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lantor {
namespace {

// read() again when a signal interrupts it; -1 with errno on failure.
ssize_t read_some(int fd, unsigned char* buf, std::size_t len) {
  for (;;) {
    ssize_t n = ::read(fd, buf, len);
    if (n >= 0 || errno != EINTR) return n;
  }
}

// A buffer of `capacity` bytes whose contents are left uninitialised: they are
// about to be overwritten by the read.
std::unique_ptr<unsigned char[]> raw_buffer(std::size_t capacity) {
  return std::unique_ptr<unsigned char[]>(new unsigned char[capacity]);
}

}  // namespace

Result<FileDescriptor, int> FileDescriptor::open_at(int dir, const std::string& path, int flags,
                                                    mode_t mode) {
  int fd;
  do {
    fd = ::openat(dir, path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return fail(errno);
  return FileDescriptor(fd);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void FileDescriptor::reset() {
  // Linux closes the descriptor even when close reports EINTR, so it is
  // never closed twice.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Result<ByteBuffer, int> read_whole_file(const FileDescriptor& fd) {
  struct stat st;
  std::size_t capacity = 0;
  if (::fstat(fd.get(), &st) == 0 && st.st_size > 0) capacity = static_cast<std::size_t>(st.st_size);

  ByteBuffer buf;
  buf.data = raw_buffer(capacity == 0 ? 1 : capacity);
  for (;;) {
    if (buf.size < capacity) {
      ssize_t n = read_some(fd.get(), buf.data.get() + buf.size, capacity - buf.size);
      if (n < 0) return fail(errno);
      if (n == 0) break;
      buf.size += static_cast<std::size_t>(n);
      continue;
    }
    // Full: probe for more before growing, so a file of exactly its stat
    // size is read without a copy.
    unsigned char probe[8192];
    ssize_t n = read_some(fd.get(), probe, sizeof probe);
    if (n < 0) return fail(errno);
    if (n == 0) break;
    std::size_t grown = capacity < 8192 ? 16384 : capacity * 2;
    std::unique_ptr<unsigned char[]> bigger = raw_buffer(grown);
    if (buf.size > 0) std::memcpy(bigger.get(), buf.data.get(), buf.size);
    std::memcpy(bigger.get() + buf.size, probe, static_cast<std::size_t>(n));
    buf.data = std::move(bigger);
    buf.size += static_cast<std::size_t>(n);
    capacity = grown;
  }
  return buf;
}

Result<ByteBuffer, int> read_whole_file(int dir, const std::string& path) {
  Result<FileDescriptor, int> fd = FileDescriptor::open_for_reading(dir, path);
  if (!fd.ok()) return fail(fd.error());
  return read_whole_file(*fd);
}

Result<ByteBuffer, int> read_whole_file(const std::string& path) { return read_whole_file(AT_FDCWD, path); }

}  // namespace lantor
