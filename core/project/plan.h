// What the project builder hands back: every generated file and the identity
// of the build that the manifest reports.
#pragma once

#include <fcntl.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/base/result.h"
#include "core/project/compile_error.h"
#include "core/request/request.h"

namespace lantor {

struct ManifestFile {
  std::string path;  // relative to the project directory, "/" separated
  std::string sha256;
  std::uint64_t bytes_len = 0;
};

struct ProjectPlan {
  std::string compiler_version;
  Target target;
  OptLevel opt_level = OptLevel::Release;
  std::string crate_name;
  std::string spec_hash;
  std::string backtest_dep;
  std::vector<ManifestFile> files;  // ascending byte order of path
  std::string project_hash;
  std::map<std::string, std::string> contents;  // path to content, byte order
  // False when a listed file's content was hashed and not kept (a dry run's
  // plan, or its inline dataset): such a plan is reported, never written.
  bool complete = true;
};

// Whether a plan keeps the files' texts, to be written, or only their
// digests and sizes, which is all a dry run reports.
enum class Contents { Kept, DigestsOnly };

// What the builder checks before it renders anything, in its order: the
// strategy document, the crate name (given, or derived from the symbol), and
// the target; the first failure, or the crate name.
Result<std::string, CompileError> check_spec(const CompileSpec& spec);

// Validates the spec (check_spec), settles crate name and target, renders every file and
// computes the hashes. Reads a CSV dataset if one is named, a relative path
// starting from the directory handle `base_dir`; writes nothing.
Result<ProjectPlan, CompileError> build_project(const CompileSpec& spec, int base_dir = AT_FDCWD,
                                                Contents contents = Contents::Kept);
// The same; an inline dataset's canonical text, if the spec holds one, moves
// into the plan instead of being copied.
Result<ProjectPlan, CompileError> build_project(CompileSpec&& spec, int base_dir = AT_FDCWD,
                                                Contents contents = Contents::Kept);

}  // namespace lantor
