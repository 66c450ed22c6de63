#include "core/project/artifact.h"

#include "core/base/utf8.h"
#include "core/project/writer.h"

namespace lantor {

std::optional<std::string> target_triple(const Target& target) {
  switch (target.kind) {
    case Target::Kind::Wasm: return std::string("wasm32-unknown-unknown");
    case Target::Kind::NoStd: return target.mcu;
    case Target::Kind::Binary: return std::nullopt;
  }
  return std::nullopt;
}

bool is_release(OptLevel opt_level) { return opt_level != OptLevel::Debug; }

std::string_view profile_dir(OptLevel opt_level) { return is_release(opt_level) ? "release" : "debug"; }

std::string relative_artifact_path(const Target& target, OptLevel opt_level, std::string_view crate_name) {
  std::string crate(crate_name);
  std::string profile(profile_dir(opt_level));
  switch (target.kind) {
    case Target::Kind::Binary: return "target/" + profile + "/" + crate;
    case Target::Kind::Wasm: return "pkg/" + crate + "_bg.wasm";
    case Target::Kind::NoStd: return "target/" + target.mcu + "/" + profile + "/lib" + crate + ".a";
  }
  return {};
}

std::string artifact_path(std::string_view project_dir, const Target& target, OptLevel opt_level,
                          std::string_view crate_name) {
  return utf8_lossy(join_path(project_dir, relative_artifact_path(target, opt_level, crate_name)));
}

}  // namespace lantor
