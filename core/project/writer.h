// Putting a generated project on disk: where it goes and how its files are
// written.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/project/compile_error.h"

namespace lantor {

// The output directory used when a request names none.
inline constexpr std::string_view kDefaultOutDir = "_out";

// Joins two path parts with one "/" between them, unless `base` is empty or
// already ends in "/". Nothing is normalised.
std::string join_path(std::string_view base, std::string_view rel);

// The directory a project is written to and built in: the output directory
// (or "_out") joined with the crate name.
std::string project_dir(const std::optional<std::string>& out_dir, std::string_view crate_name);

// The directory part of `path` without its trailing separators; empty when the
// path has no directory part.
std::string parent_path(std::string_view path);

// Creates `dir` and every missing ancestor, outermost first. An existing
// directory at any level is fine. Returns the system error text on failure.
Result<Ok> create_dirs(const std::string& dir);

// Writes every file of `contents` (relative path to text) under `dir`, in
// ascending byte order of path, creating parent directories as needed. A
// regular file that already holds exactly its text is left untouched (its
// modification time too), so cargo's own check finds nothing to rebuild;
// it is still opened for writing, so it is refused exactly when a rewrite
// would be. Stops at the first failure with an Io error ("creating ..." or
// "writing ..."); what was written before it stays. Other files in `dir`
// are not touched.
Status<CompileError> write_project(std::string_view dir, const std::map<std::string, std::string>& contents);

}  // namespace lantor
