#pragma once

#include <string_view>

namespace lantor {

// The module's version, also every manifest's `compiler_version`.
inline constexpr std::string_view kCompilerVersion = "0.1.2";
// The version requirement generated projects write for `lantor-backtest`.
inline constexpr std::string_view kBacktestDep = "0.1.5";

}  // namespace lantor
