// Clearing generated files that an earlier compile for another target left in
// a project directory.
//
// Targets differ in their file sets: Wasm and NoStd have .cargo/config.toml
// and src/lib.rs, Binary has src/main.rs instead. Writing only the new set
// would leave the old target's files behind, and cargo reads them: a Binary
// build after a Wasm one would still build for wasm32 (from the stale
// configuration) and compile the stale library source, and the reported
// artifact path would name a file that build never made. So before writing,
// such files are removed, but only when they still hold exactly a text the
// compiler generates; anything edited or written by hand stays.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/result.h"
#include "core/project/compile_error.h"
#include "core/project/project_dir.h"

namespace lantor {

// A file that some targets generate and others do not, with every text the
// compiler can give it.
struct GeneratedFile {
  std::string path;  // relative to the project directory
  std::vector<std::string> texts;
};

// The target-specific generated files: the build configuration for every
// triple the compiler can target, the source texts of the three targets, and
// the source texts that earlier versions generated.
std::vector<GeneratedFile> target_specific_files();

// Removes from `project` each of `known` that `contents` does not contain
// and whose file on disk is a regular file byte-identical to one of its
// texts. Nothing is reached through a link: a file, or a directory on its
// way, that is a link is left alone, as are files that cannot be read.
// Fails with an Io error "removing {path}: {system error text}" when such a
// file cannot be removed. Nothing to do when the project is not open.
Status<CompileError> remove_stale_files(ProjectDir& project,
                                        const std::map<std::string, std::string>& contents,
                                        const std::vector<GeneratedFile>& known);

// remove_stale_files with the compiler's own target-specific files.
Status<CompileError> remove_stale_generated(ProjectDir& project,
                                            const std::map<std::string, std::string>& contents);

}  // namespace lantor
