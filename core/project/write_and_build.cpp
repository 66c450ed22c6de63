#include "core/project/write_and_build.h"

#include <cassert>

#include "core/project/artifact.h"
#include "core/project/build.h"
#include "core/project/stale.h"
#include "core/project/wasm_package.h"
#include "core/project/writer.h"

namespace lantor {

Result<std::string, CompileError> write_and_build(const ProjectPlan& plan,
                                                  const std::optional<std::string>& out_dir) {
  std::string dir = project_dir(out_dir, plan.crate_name);
  // The request readers keep an inline dataset's text whenever the project
  // is to be written: a plan that holds only its digests never gets here.
  assert(plan.complete);
  if (!plan.complete)
    return fail(
        CompileError{CompileError::Kind::Io, "writing " + dir + ": the inline dataset's text was not kept"});
  LANTOR_TRY(remove_stale_generated(dir, plan.contents));
  LANTOR_TRY(write_project(dir, plan.contents));
  LANTOR_TRY(run_cargo(dir, plan.target, plan.opt_level));
  // cargo leaves a bare module; the reported artifact is the package's.
  if (plan.target.kind == Target::Kind::Wasm) {
    LANTOR_TRY(make_wasm_package(dir, plan.opt_level, plan.crate_name));
  }
  return artifact_path(dir, plan.target, plan.opt_level, plan.crate_name);
}

}  // namespace lantor
