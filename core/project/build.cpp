#include "core/project/build.h"

#include "core/base/utf8.h"
#include "core/project/artifact.h"
#include "core/project/child_process.h"

namespace lantor {
namespace {

// The raw bytes of standard error kept while cargo runs. Decoding can only
// lengthen the text, so the reported tail always lies within these; the
// margin covers a character cut at the start of the kept bytes.
constexpr std::size_t kStderrKeep = std::size_t{64} * 1024;

}  // namespace

std::vector<std::string> cargo_args(const Target& target, OptLevel opt_level) {
  std::vector<std::string> args = {"build"};
  if (std::optional<std::string> triple = target_triple(target)) {
    args.emplace_back("--target");
    args.push_back(*triple);
  }
  if (is_release(opt_level)) args.emplace_back("--release");
  return args;
}

std::string build_failure_message(std::string_view stderr_bytes) {
  return std::string(utf8_tail(utf8_lossy(stderr_bytes), kBuildErrorTail));
}

Status<CompileError> run_build_step(std::string_view name, const std::string& program,
                                    const std::vector<std::string>& args, int project_dir,
                                    const Environment& env) {
  Result<ChildOutcome> run = run_child(program, args, project_dir, env, kStderrKeep);
  if (!run.ok()) {
    return fail(
        CompileError{CompileError::Kind::Build, "spawning " + std::string(name) + ": " + run.error()});
  }
  if (run->success) return Ok{};
  return fail(CompileError{CompileError::Kind::Build, build_failure_message(run->stderr_bytes)});
}

Status<CompileError> run_cargo(int project_dir, const Environment& env, const Target& target,
                               OptLevel opt_level) {
  return run_build_step("cargo", "cargo", cargo_args(target, opt_level), project_dir, env);
}

}  // namespace lantor
