#include "core/project/dataset.h"

#include "core/base/file.h"
#include "core/base/oserror.h"
#include "core/base/utf8.h"

namespace lantor {

Result<std::string, CompileError> read_csv_dataset(int base_dir, const std::string& path) {
  auto io_error = [&](std::string_view why) {
    return CompileError{CompileError::Kind::Io, "reading " + path + ": " + std::string(why)};
  };
  if (has_nul(path)) return fail(io_error(kNulInPathText));
  Result<ByteBuffer, int> bytes = read_whole_file(base_dir, path);
  if (!bytes.ok()) return fail(io_error(os_error_text(bytes.error())));
  if (!is_valid_utf8(bytes->view())) return fail(io_error(kInvalidUtf8Text));
  return std::string(bytes->view());
}

}  // namespace lantor
