#include "core/project/write_and_build.h"

#include <cassert>

#include "core/project/artifact.h"
#include "core/project/build.h"
#include "core/project/project_dir.h"
#include "core/project/stale.h"
#include "core/project/wasm_package.h"
#include "core/project/writer.h"

namespace lantor {

Result<std::string, CompileError> write_and_build(const ProjectPlan& plan,
                                                  const std::optional<std::string>& out_dir,
                                                  const CallContext& context) {
  // The request readers keep an inline dataset's text whenever the project
  // is to be written: a plan that holds only its digests never gets here.
  assert(plan.complete);
  if (!plan.complete)
    return fail(CompileError{CompileError::Kind::Io, "writing " + project_dir(out_dir, plan.crate_name) +
                                                         ": the inline dataset's text was not kept"});
  // Everything below reaches the project through its handle. A directory
  // that could not be opened is reported by the writer, for its first file.
  ProjectDir project = ProjectDir::open(context.dir(), out_dir, plan.crate_name);
  LANTOR_TRY(project.lock(context));
  LANTOR_TRY(remove_stale_generated(project, plan.contents));
  LANTOR_TRY(write_project(project, plan.contents));
  const Environment& env = context.environment();
  LANTOR_TRY(run_cargo(project.fd(), env, plan.target, plan.opt_level));
  // cargo leaves a bare module; the reported artifact is the package's.
  if (plan.target.kind == Target::Kind::Wasm) {
    LANTOR_TRY(make_wasm_package(project.fd(), env, plan.opt_level, plan.crate_name));
  }
  return artifact_path(project.path(), plan.target, plan.opt_level, plan.crate_name);
}

}  // namespace lantor
