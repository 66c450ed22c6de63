// Turning a built WebAssembly module into the package JavaScript loads: the
// module prepared by wasm-bindgen, pkg/{crate}_bg.wasm, beside its glue code
// pkg/{crate}.js and their type declarations.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/base/environment.h"
#include "core/base/result.h"
#include "core/project/compile_error.h"
#include "core/request/request.h"

namespace lantor {

// The module cargo leaves for a Wasm build, relative to the project
// directory: target/wasm32-unknown-unknown/{profile}/{crate}.wasm.
std::string wasm_module_path(OptLevel opt_level, std::string_view crate_name);

// The arguments after "wasm-bindgen": --target web --out-dir pkg {module}.
std::vector<std::string> wasm_bindgen_args(OptLevel opt_level, std::string_view crate_name);

// Runs wasm-bindgen in `project_dir` (a directory handle) on the module
// cargo built, as a build step with the environment `env` (its failures are
// those of run_build_step, named "wasm-bindgen"). Does nothing, successfully,
// when there is no module (a cargo that made none) or when no wasm-bindgen is
// on the PATH of `env`: the build then stands as cargo left it.
Status<CompileError> make_wasm_package(int project_dir, const Environment& env, OptLevel opt_level,
                                       std::string_view crate_name);

}  // namespace lantor
