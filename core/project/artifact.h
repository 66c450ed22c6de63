// Where a build leaves its artifact.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/request/request.h"

namespace lantor {

// The triple cargo builds for: "wasm32-unknown-unknown" for Wasm, the MCU
// triple for NoStd, none for Binary (the host).
std::optional<std::string> target_triple(const Target& target);

// True when the level builds with --release (release and size).
bool is_release(OptLevel opt_level);

// "release" or "debug": cargo's profile directory under target/.
std::string_view profile_dir(OptLevel opt_level);

// The artifact's path relative to the project directory:
//   Binary  target/{profile}/{crate}
//   Wasm    pkg/{crate}_bg.wasm
//   NoStd   target/{triple}/{profile}/lib{crate}.a
std::string relative_artifact_path(const Target& target, OptLevel opt_level, std::string_view crate_name);

// The project directory joined with the relative artifact path, as UTF-8 text.
// The file is not looked at.
std::string artifact_path(std::string_view project_dir, const Target& target, OptLevel opt_level,
                          std::string_view crate_name);

}  // namespace lantor
