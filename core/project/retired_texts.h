// Texts that earlier versions of the compiler generated and this one no longer
// does. They are kept only so that a project directory written by an earlier
// version still has its generated files recognised when it switches target.
#pragma once

#include <string_view>

namespace lantor {

// The no_std src/lib.rs of earlier versions, whose C-facing functions were
// plain Rust functions and so were neither exported nor kept by the linker.
extern const std::string_view kRetiredNoStdLibSource;

}  // namespace lantor
