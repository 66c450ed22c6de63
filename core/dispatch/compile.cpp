// The compile command: read the request, build the project plan, and answer
// with the manifest; a non-dry request also writes and builds the project.
#include <optional>
#include <string>
#include <utility>

#include "core/dispatch/handlers.h"
#include "core/json/writer.h"
#include "core/project/plan.h"
#include "core/project/write_and_build.h"
#include "core/request/request.h"

namespace lantor {
namespace {

// The part of a non-dry compile that touches the disk: write the plan's
// project under `out_dir`, build it, and return the artifact's path, or the
// error text for the response.
Result<std::string> finish_build(const ProjectPlan& plan, const std::optional<std::string>& out_dir,
                                 const CallContext& context) {
  Result<std::string, CompileError> path = write_and_build(plan, out_dir, context);
  if (!path) return fail(path.error().text());
  return std::move(path).value();
}

void write_target(json::Writer& w, const Target& target) {
  w.begin_object().key("kind").string(target_kind_name(target.kind));
  if (target.kind == Target::Kind::NoStd) w.key("mcu").string(target.mcu);
  w.end_object();
}

void write_manifest(json::Writer& w, const ProjectPlan& plan) {
  w.begin_object();
  w.key("compiler_version").string(plan.compiler_version);
  w.key("target");
  write_target(w, plan.target);
  w.key("opt_level").string(opt_level_name(plan.opt_level));
  w.key("crate_name").string(plan.crate_name);
  w.key("spec_hash").string(plan.spec_hash);
  w.key("backtest_dep").string(plan.backtest_dep);
  w.key("files").begin_array();
  for (const ManifestFile& file : plan.files) {
    w.begin_object();
    w.key("path").string(file.path);
    w.key("sha256").string(file.sha256);
    w.key("bytes_len").uint(file.bytes_len);
    w.end_object();
  }
  w.end_array();
  w.key("project_hash").string(plan.project_hash);
  w.end_object();
}

}  // namespace

std::string compile_response(const ProjectPlan& plan, const std::optional<std::string>& path) {
  // About a hundred and twenty bytes per file, and three hundred for the
  // rest and a path.
  json::Writer w(320 + 128 * plan.files.size() + (path ? path->size() : 0));
  w.begin_object();
  w.key("target");
  write_target(w, plan.target);
  if (path) w.key("path").string(*path);
  w.key("manifest");
  write_manifest(w, plan);
  w.key("built").boolean(path.has_value());
  w.end_object();
  return w.take();
}

HandlerResult handle_compile(std::string_view text, CommandState& state) {
  json::ReadResult<CompileReq> req = read_compile_req(text);
  if (!req) return fail("bad compile request: " + json::positioned(text, req.error()));
  return run_compile(std::move(req).value(), state);
}

HandlerResult run_compile(CompileReq&& req, CommandState& state) {
  // The builder runs before anything can be written, so an invalid request
  // leaves the file system alone.
  auto plan = build_project(std::move(req.spec), state.context.dir(),
                            req.dry_run ? Contents::DigestsOnly : Contents::Kept);
  if (!plan) return fail(plan.error().text());

  if (req.dry_run) return compile_response(*plan, std::nullopt);

  Result<std::string> artifact = finish_build(*plan, req.out_dir, state.context);
  if (!artifact) return fail(std::move(artifact).error());
  return compile_response(*plan, std::move(artifact).value());
}

}  // namespace lantor
