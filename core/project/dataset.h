// Reading the CSV dataset a compile request names.
#pragma once

#include <string>

#include "core/base/result.h"
#include "core/project/compile_error.h"

namespace lantor {

// The whole file at `path` (used verbatim, relative to the directory handle
// `base_dir`: AT_FDCWD for the working directory) as UTF-8 text, byte for
// byte. Fails with an Io error "reading {path}: {why}" where the reason is
// the system error text, the NUL-in-path text or the invalid-UTF-8 text.
Result<std::string, CompileError> read_csv_dataset(int base_dir, const std::string& path);

}  // namespace lantor
