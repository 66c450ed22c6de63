// build_project: validate the strategy, settle the crate name and the target,
// render every file of the project, and compute the hashes. Nothing is
// written here; the only file touched is a CSV dataset the request names.
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

// Lists the files in ascending byte order of path, which is the order they
// are added in, and keeps their texts when the plan is to be written.
class Files {
 public:
  Files(ProjectPlan& plan, Contents contents) : plan_(plan), keep_(contents == Contents::Kept) {
    plan_.files.reserve(5);
  }

  // A file whose digest is known; `text` is made only if it is kept.
  template <class MakeText>
  void add_known(std::string_view path, const std::string& digest, std::size_t size, MakeText&& text) {
    assert(plan_.files.empty() || plan_.files.back().path < path);
    plan_.files.push_back(ManifestFile{std::string(path), digest, size});
    if (keep_) plan_.contents.emplace(std::string(path), std::forward<MakeText>(text)());
  }
  // A file with this text, digested here.
  void add(std::string_view path, std::string&& text) {
    add_known(path, sha256_hex(text), text.size(), [&] { return std::move(text); });
  }
  void add(std::string_view path, std::string_view text) {
    add_known(path, sha256_hex(text), text.size(), [&] { return std::string(text); });
  }
  // An inline dataset hashed as it was read: listed, never kept, so this
  // plan can be reported but not written.
  void add_unkept(std::string_view path, const std::string& digest, std::uint64_t size) {
    assert(plan_.files.empty() || plan_.files.back().path < path);
    plan_.files.push_back(ManifestFile{std::string(path), digest, size});
    plan_.complete = false;
  }

 private:
  ProjectPlan& plan_;
  bool keep_;
};

// Cargo.toml: its text, or only its digest and size when it is not kept,
// which spares building a text that would only be hashed.
void add_manifest(Files& files, const CompileSpec& spec, std::string_view crate_name) {
  const ManifestParts parts = manifest_parts(spec.target.kind, spec.opt_level);
  Sha256 digest;
  digest.update(parts.before);
  digest.update(crate_name);
  digest.update(parts.after);
  files.add_known(kManifestPath, digest.hex(), parts.before.size() + crate_name.size() + parts.after.size(),
                  [&] {
                    std::string text(parts.before);
                    text += crate_name;
                    text += parts.after;
                    return text;
                  });
}

// `candles_text`, when given, is the inline dataset's canonical text, which
// the plan takes over. A relative CSV path starts from `base_dir`.
Result<ProjectPlan, CompileError> build(const CompileSpec& spec, std::string* candles_text, int base_dir,
                                        Contents contents) {
  LANTOR_ASSIGN_OR_RETURN(std::string crate_name, check_spec(spec));

  const std::string& spec_json = spec.strategy.canonical_text();

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

  // In ascending byte order of path.
  Files files(plan, contents);
  const Target::Kind kind = spec.target.kind;
  if (kind == Target::Kind::Wasm)
    files.add_known(kBuildConfigPath, wasm_build_config_digest(), kWasmBuildConfig.size(),
                    [] { return std::string(kWasmBuildConfig); });
  else if (auto config = build_config(spec.target))
    files.add(kBuildConfigPath, std::move(*config));
  add_manifest(files, spec, crate_name);
  if (spec.embed_data) {
    if (spec.embed_data->kind == DatasetRef::Kind::Csv)
      files.add(kCandlesCsvPath, std::move(candles_csv));
    else if (streamed != nullptr)
      files.add_unkept(kCandlesJsonPath, streamed->canonical_sha256, streamed->canonical_len);
    else
      files.add(kCandlesJsonPath, std::move(candles_json));
  }
  files.add_known(main_source_path(kind), main_source_digest(kind), main_source(kind).size(),
                  [&] { return std::string(main_source(kind)); });
  files.add(kSpecPath, std::string_view(spec_json));
  if (contents == Contents::DigestsOnly) plan.complete = false;

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

Result<ProjectPlan, CompileError> build_project(const CompileSpec& spec, int base_dir, Contents contents) {
  return build(spec, nullptr, base_dir, contents);
}

Result<ProjectPlan, CompileError> build_project(CompileSpec&& spec, int base_dir, Contents contents) {
  std::string* text = nullptr;
  if (spec.embed_data && spec.embed_data->candles_json) text = &*spec.embed_data->candles_json;
  return build(spec, text, base_dir, contents);
}

}  // namespace lantor
