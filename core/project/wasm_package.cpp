#include "core/project/wasm_package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <optional>

#include "core/base/oserror.h"
#include "core/project/artifact.h"
#include "core/project/build.h"
#include "core/project/search_path.h"

namespace lantor {
namespace {

bool is_regular_file(int dir, const std::string& path) {
  if (has_nul(path)) return false;
  struct stat st;
  return ::fstatat(dir, path.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string wasm_module_path(OptLevel opt_level, std::string_view crate_name) {
  std::string path = "target/wasm32-unknown-unknown/";
  path += profile_dir(opt_level);
  path += '/';
  path += crate_name;
  path += ".wasm";
  return path;
}

std::vector<std::string> wasm_bindgen_args(OptLevel opt_level, std::string_view crate_name) {
  return {"--target", "web", "--out-dir", "pkg", wasm_module_path(opt_level, crate_name)};
}

Status<CompileError> make_wasm_package(int project_dir, const Environment& env, OptLevel opt_level,
                                       std::string_view crate_name) {
  if (!is_regular_file(project_dir, wasm_module_path(opt_level, crate_name))) return Ok{};
  std::optional<std::string> program = find_on_search_path("wasm-bindgen", project_dir, env);
  if (!program) return Ok{};
  return run_build_step("wasm-bindgen", *program, wasm_bindgen_args(opt_level, crate_name), project_dir, env);
}

}  // namespace lantor
