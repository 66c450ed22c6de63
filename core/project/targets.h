// The build targets and the allow-list of bare-metal triples.
#pragma once

#include <array>
#include <string_view>

namespace lantor {

inline constexpr std::array<std::string_view, 7> kMcuAllowlist = {
    "thumbv6m-none-eabi",     "thumbv7m-none-eabi",        "thumbv7em-none-eabi",
    "thumbv7em-none-eabihf",  "thumbv8m.main-none-eabi",   "thumbv8m.main-none-eabihf",
    "riscv32imac-unknown-none-elf",
};

inline constexpr std::array<std::string_view, 3> kTargetKinds = {"wasm", "binary", "no_std"};

}  // namespace lantor
