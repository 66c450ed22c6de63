#include "core/request/request.h"

namespace lantor {

std::string_view opt_level_name(OptLevel level) {
  switch (level) {
    case OptLevel::Debug: return "debug";
    case OptLevel::Release: return "release";
    case OptLevel::Size: return "size";
  }
  return "";
}

std::string_view target_kind_name(Target::Kind kind) {
  switch (kind) {
    case Target::Kind::Wasm: return "wasm";
    case Target::Kind::Binary: return "binary";
    case Target::Kind::NoStd: return "no_std";
  }
  return "";
}

}  // namespace lantor
