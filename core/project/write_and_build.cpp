#include "core/project/write_and_build.h"

#include <stdexcept>

#include "core/project/artifact.h"
#include "core/project/build.h"
#include "core/project/stale.h"
#include "core/project/wasm_package.h"
#include "core/project/writer.h"

namespace lantor {

Result<std::string, CompileError> write_and_build(const ProjectPlan& plan,
                                                  const std::optional<std::string>& out_dir) {
  if (!plan.complete) throw std::logic_error("a project plan without every file's content was to be written");
  std::string dir = project_dir(out_dir, plan.crate_name);
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
