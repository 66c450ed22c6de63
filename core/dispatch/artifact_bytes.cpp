// artifact_bytes: read a whole file into the instance under a new handle and
// answer with its length and SHA-256 digest.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/base/oserror.h"
#include "core/base/sha256.h"
#include "core/dispatch/handlers.h"
#include "core/json/writer.h"
#include "core/request/request.h"

namespace lantor {
namespace {

// Closes the descriptor when the read ends, however it ends.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// read() retried when a signal interrupts it; -1 with errno on failure.
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

// Reads the file to its end. The stat size is only the first guess of the
// capacity: the file may have grown, or be a special file reporting 0.
Result<ByteBuffer, int> read_file(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return fail(errno);
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

}  // namespace

HandlerResult handle_artifact_bytes(std::string_view text, CommandState& state) {
  Result<BytesReq> req = read_bytes_req(text);
  if (!req) return fail("bad artifact_bytes request: " + req.error());
  const std::string& path = req->path;
  if (has_nul(path)) return fail("reading " + path + ": " + std::string(kNulInPathText));

  Result<ByteBuffer, int> bytes = read_file(path);
  if (!bytes) return fail("reading " + path + ": " + os_error_text(bytes.error()));

  ByteBuffer& buf = bytes.value();
  std::string digest =
      sha256_hex(std::string_view(reinterpret_cast<const char*>(buf.data.get()), buf.size));
  const std::uint64_t handle = state.next_handle++;
  const std::size_t len = buf.size;
  state.artifacts[handle] = std::move(buf);

  json::Writer w;
  w.begin_object().key("handle").uint(handle).key("len").uint(len).key("sha256").string(digest).end_object();
  return w.take();
}

}  // namespace lantor
