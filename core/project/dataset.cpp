#include "core/project/dataset.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/base/oserror.h"
#include "core/json/unicode.h"

namespace lantor {
namespace {

// The whole content of `path`, or the reason it could not be read.
Result<std::string> read_whole_file(const std::string& path) {
  if (has_nul(path)) return fail(std::string(kNulInPathText));
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(os_error_text(errno));

  std::string bytes;
  struct stat st{};
  // The size is only a hint for the first allocation; the loop reads to the end.
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() < 4096 ? 8192 : bytes.size() * 2);
    ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      return fail(os_error_text(err));
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(used);
  return bytes;
}

}  // namespace

Result<std::string, CompileError> read_csv_dataset(const std::string& path) {
  auto io_error = [&](std::string_view why) {
    return CompileError{CompileError::Kind::Io, "reading " + path + ": " + std::string(why)};
  };
  Result<std::string> bytes = read_whole_file(path);
  if (!bytes) return fail(io_error(bytes.error()));
  if (!json::is_valid_utf8(*bytes)) return fail(io_error(kInvalidUtf8Text));
  return std::move(bytes).value();
}

}  // namespace lantor
