// Building a written project with cargo.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/environment.h"
#include "core/base/result.h"
#include "core/project/compile_error.h"
#include "core/request/request.h"

namespace lantor {

// How much of cargo's standard error a failed build reports, in bytes.
inline constexpr std::size_t kBuildErrorTail = 2000;

// The arguments after "cargo": "build", then "--target" and the triple for
// targets that have one, then "--release" for release and size.
std::vector<std::string> cargo_args(const Target& target, OptLevel opt_level);

// The message of a failed build: standard error decoded as UTF-8 (U+FFFD for
// invalid sequences), cut to its last kBuildErrorTail bytes.
std::string build_failure_message(std::string_view stderr_bytes);

// Runs one step of a build, `program` with `args` and the environment `env`,
// in the directory `project_dir` (a directory handle), and waits for it.
// Fails with a Build error: "spawning {name}: ..." when the program cannot be
// started, otherwise the tail of its standard error when it does not exit
// with status 0. `name` is how errors call the program; `program` is what is
// started, looked up on the PATH of `env` unless it holds a "/".
Status<CompileError> run_build_step(std::string_view name, const std::string& program,
                                    const std::vector<std::string>& args, int project_dir,
                                    const Environment& env);

// Runs cargo in `project_dir` as a build step.
Status<CompileError> run_cargo(int project_dir, const Environment& env, const Target& target,
                               OptLevel opt_level);

}  // namespace lantor
