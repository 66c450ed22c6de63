// The part of a compile that touches the disk: write the plan's project,
// build it, and say where the artifact is.
#pragma once

#include <optional>
#include <string>

#include "core/base/call_context.h"
#include "core/base/result.h"
#include "core/project/compile_error.h"
#include "core/project/plan.h"

namespace lantor {

// Writes `plan` into its project directory under `out_dir` (or "_out",
// relative to `context`'s directory), after clearing generated files an
// earlier compile for another target left there, runs cargo in it (and, for
// Wasm, wasm-bindgen on the module cargo built) with `context`'s environment
// and returns the artifact's path. The project's lock is held from before
// the clearing until the last build step has ended, and released before
// this returns, so compiles into one project directory take turns. The first
// failure ends it: an Io error from locking or writing, a Build error from
// cargo or wasm-bindgen.
Result<std::string, CompileError> write_and_build(const ProjectPlan& plan,
                                                  const std::optional<std::string>& out_dir,
                                                  const CallContext& context);

}  // namespace lantor
