// build_project: validate the strategy, settle the crate name and the target,
// render every file of the project, and compute the hashes. Nothing is
// written here; the only file touched is a CSV dataset the request names.
#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <utility>

#include "core/base/sha256.h"
#include "core/base/versions.h"
#include "core/project/dataset.h"
#include "core/project/hashing.h"
#include "core/project/naming.h"
#include "core/project/plan.h"
#include "core/project/templates.h"
#include "core/strategy/strategy.h"

namespace lantor {
namespace {

CompileError bad_spec(std::string message) {
  return CompileError{CompileError::Kind::BadSpec, std::move(message)};
}

void put(std::map<std::string, std::string>& contents, std::string_view path, std::string text) {
  contents.emplace(std::string(path), std::move(text));
}

// The main sources are constant texts, one per target kind, and so is the
// WebAssembly build configuration: their digests are worked out once per
// process instead of once per command.
const std::string& main_source_digest(Target::Kind kind) {
  static const std::array<std::string, 3> digests = {
      sha256_hex(main_source(Target::Kind::Wasm)),
      sha256_hex(main_source(Target::Kind::Binary)),
      sha256_hex(main_source(Target::Kind::NoStd)),
  };
  return digests[static_cast<std::size_t>(kind)];
}

const std::string& wasm_build_config_digest() {
  static const std::string digest = sha256_hex(kWasmBuildConfig);
  return digest;
}

// The digest of the file at `path` of a project for `kind`, holding `text`.
std::string file_digest(std::string_view path, Target::Kind kind, std::string_view text) {
  if (path == main_source_path(kind)) return main_source_digest(kind);
  if (path == kBuildConfigPath && kind == Target::Kind::Wasm) return wasm_build_config_digest();
  return sha256_hex(text);
}

// `candles_text`, when given, is the inline dataset's canonical text, which
// the plan takes over. A relative CSV path starts from `base_dir`.
Result<ProjectPlan, CompileError> build(const CompileSpec& spec, std::string* candles_text, int base_dir) {
  LANTOR_ASSIGN_OR_RETURN(std::string crate_name, check_spec(spec));

  std::string spec_json = spec.strategy.canonical_text();

  std::string candles_csv;
  std::string candles_json;
  // An inline dataset hashed as it was read: only its digests are known.
  const StreamedCandles* streamed = nullptr;
  if (spec.embed_data) {
    if (spec.embed_data->kind == DatasetRef::Kind::Csv) {
      auto read = read_csv_dataset(base_dir, spec.embed_data->path);
      if (!read) return fail(std::move(read).error());
      candles_csv = std::move(read).value();
    } else {
      // The one canonical pass over a possibly large dataset: the text feeds
      // both the spec hash and src/candles.json.
      if (spec.embed_data->streamed) {
        streamed = &*spec.embed_data->streamed;
        // Its digest of the spec hash began with the crate name read before
        // it, which the request readers keep equal to the spec's (they keep
        // the text otherwise).
        assert(streamed->crate_name == spec.crate_name);
        if (streamed->crate_name != spec.crate_name)
          return fail(bad_spec("the inline dataset was hashed for another crate name"));
      } else if (candles_text != nullptr) {
        candles_json = std::move(*candles_text);
      } else if (spec.embed_data->candles_json) {
        candles_json = *spec.embed_data->candles_json;
      }
    }
  }

  ProjectPlan plan;
  plan.compiler_version = std::string(kCompilerVersion);
  plan.target = spec.target;
  plan.opt_level = spec.opt_level;
  plan.backtest_dep = std::string(kBacktestDep);
  plan.spec_hash = spec_hash(spec, spec_json, candles_json);

  auto& contents = plan.contents;
  put(contents, kManifestPath,
      render_template(manifest_template(spec.target.kind), {{"crate_name", crate_name},
                                                            {"backtest_dep", kBacktestDep},
                                                            {"profile", profile_section(spec.opt_level)}}));
  put(contents, main_source_path(spec.target.kind), std::string(main_source(spec.target.kind)));
  if (auto config = build_config(spec.target)) put(contents, kBuildConfigPath, std::move(*config));
  put(contents, kSpecPath, std::move(spec_json));
  if (spec.embed_data) {
    if (spec.embed_data->kind == DatasetRef::Kind::Csv)
      put(contents, kCandlesCsvPath, std::move(candles_csv));
    else if (streamed == nullptr)
      put(contents, kCandlesJsonPath, std::move(candles_json));
  }

  plan.files.reserve(contents.size());
  for (const auto& [path, text] : contents)
    plan.files.push_back(ManifestFile{path, file_digest(path, spec.target.kind, text), text.size()});
  if (streamed != nullptr) {
    // Listed with the others, in path order; its content was never kept, so
    // this plan can be reported but not written.
    ManifestFile file{std::string(kCandlesJsonPath), streamed->canonical_sha256, streamed->canonical_len};
    auto at = std::lower_bound(plan.files.begin(), plan.files.end(), file.path,
                               [](const ManifestFile& f, const std::string& path) { return f.path < path; });
    plan.files.insert(at, std::move(file));
    plan.complete = false;
  }
  plan.project_hash = project_hash(plan.files);
  plan.crate_name = std::move(crate_name);
  return plan;
}

}  // namespace

Result<std::string, CompileError> check_spec(const CompileSpec& spec) {
  // The typed strategy only proves the document valid; what is embedded and
  // hashed is the value as received.
  if (auto typed = strategy::parse_strategy(spec.strategy.root()); !typed.ok()) {
    schema::Error e = std::move(typed).error();
    return fail(CompileError{CompileError::Kind::BadStrategy, std::move(e.message), e.kind, e.at, e.wanted,
                             e.variants});
  }
  Result<std::string> crate_name = derive_crate_name(spec);
  if (!crate_name) return fail(CompileError{CompileError::Kind::BadCrateName, std::move(crate_name).error()});
  if (auto checked = check_target(spec.target); !checked)
    return fail(CompileError{CompileError::Kind::BadTarget, std::move(checked).error()});
  return std::move(crate_name).value();
}

Result<ProjectPlan, CompileError> build_project(const CompileSpec& spec, int base_dir) {
  return build(spec, nullptr, base_dir);
}

Result<ProjectPlan, CompileError> build_project(CompileSpec&& spec, int base_dir) {
  std::string* text = nullptr;
  if (spec.embed_data && spec.embed_data->candles_json) text = &*spec.embed_data->candles_json;
  return build(spec, text, base_dir);
}

}  // namespace lantor
