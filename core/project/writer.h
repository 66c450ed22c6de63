// Putting a generated project on disk: where it goes and how its files are
// written.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/project/compile_error.h"
#include "core/project/project_dir.h"

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

// Creates `dir` (relative to the directory handle `base` unless absolute) and
// every missing ancestor, outermost first. An existing directory at any level
// is fine, also one reached through a link. The error is errno.
Result<Ok, int> create_dirs(int base, const std::string& dir);

// Writes every file of `contents` (relative path to text) into `project`, in
// ascending byte order of path, creating the directories inside it as
// needed. Each file is written whole or not at all, and never through a
// link:
// - a file that must change is written to a new file in its directory
//   (created exclusively, mode 0666 less the creation mask) which is then
//   renamed over its path, so a reader, or a compile that stops midway, sees
//   the old file or the new one and never a mix; a hard link elsewhere keeps
//   the old text;
// - a link at the path is replaced by the file, never followed;
// - anything else at the path is first opened for writing without waiting,
//   so that every refusal of a plain open for writing (a directory, a
//   read-only file, a FIFO no one reads) is reported as such, and a regular
//   file that already holds exactly its text is left untouched (its
//   modification time too), so cargo's own check finds nothing to rebuild.
//   In a directory where no new file may be made, a regular file that may be
//   written is rewritten in place instead.
// Stops at the first failure with an Io error ("creating {parent}: ..." or
// "writing {file}: ..."); what was written before it stays. Other files in
// the project are not touched.
Status<CompileError> write_project(ProjectDir& project, const std::map<std::string, std::string>& contents);

}  // namespace lantor
