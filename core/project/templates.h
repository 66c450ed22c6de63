// The texts of a generated project: the manifest templates with their
// placeholders, the fixed sources and build configurations, the profile
// sections, and the renderer that fills the placeholders.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/request/request.h"

namespace lantor {

// Cargo.toml templates. Each ends with the {{profile}} placeholder and no line
// feed after it; NoStd has no dependencies and so no {{backtest_dep}}.
extern const std::string_view kWasmManifest;
extern const std::string_view kBinaryManifest;
extern const std::string_view kNoStdManifest;

// The main source of each target, copied unchanged. The single braces in the
// Binary source are Rust format arguments, not placeholders.
extern const std::string_view kWasmLibSource;
extern const std::string_view kBinaryMainSource;
extern const std::string_view kNoStdLibSource;

// .cargo/config.toml for Wasm. NoStd uses the same two lines around its triple.
extern const std::string_view kWasmBuildConfig;

// What replaces {{profile}}: nothing for debug, a release section otherwise.
extern const std::string_view kDebugProfile;
extern const std::string_view kReleaseProfile;
extern const std::string_view kSizeProfile;

// Relative paths of the generated files.
inline constexpr std::string_view kBuildConfigPath = ".cargo/config.toml";
inline constexpr std::string_view kManifestPath = "Cargo.toml";
inline constexpr std::string_view kCandlesCsvPath = "src/candles.csv";
inline constexpr std::string_view kCandlesJsonPath = "src/candles.json";
inline constexpr std::string_view kLibSourcePath = "src/lib.rs";
inline constexpr std::string_view kMainSourcePath = "src/main.rs";
inline constexpr std::string_view kSpecPath = "src/spec.json";

using TemplatePair = std::pair<std::string_view, std::string_view>;

// For each (name, value) pair in order, replaces every "{{name}}" with the
// value, scanning left to right without overlapping matches; the result of one
// pair is the input of the next. Other brace text is left alone.
std::string render_template(std::string_view text, std::initializer_list<TemplatePair> pairs);

std::string_view manifest_template(Target::Kind kind);
std::string_view profile_section(OptLevel level);

// Cargo.toml for `kind` at `level` around its crate name: the template with
// every other placeholder filled, cut where {{crate_name}} stands (once, in
// the package's name). A crate name holds no braces, so `before`, the name
// and `after` are what render_template makes of the whole; worked out once
// per process.
struct ManifestParts {
  std::string_view before;
  std::string_view after;
};
ManifestParts manifest_parts(Target::Kind kind, OptLevel level);

// The target's main source file: its relative path and its text.
std::string_view main_source_path(Target::Kind kind);
std::string_view main_source(Target::Kind kind);

// The build configuration, or nothing for Binary (which builds for the host).
// For NoStd the triple is inserted unchanged.
std::optional<std::string> build_config(const Target& target);

}  // namespace lantor
