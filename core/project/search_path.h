// Finding a program on the executable search path.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/environment.h"

namespace lantor {

// What the C library searches when PATH is not set at all.
inline constexpr std::string_view kDefaultSearchPath = "/bin:/usr/bin";

// The paths at which starting the program `name` looks for it, in order, as
// starting a program by name does: `name` alone when it holds a "/";
// otherwise each directory of PATH in `env` ("/bin:/usr/bin" when PATH is
// unset; an empty entry is the working directory) joined with `name`. A
// relative one is relative to the working directory of the child.
std::vector<std::string> search_path_candidates(std::string_view name, const Environment& env);

// The first of search_path_candidates that is an executable regular file,
// for a child that runs in the directory `cwd_dir` (a directory handle,
// which relative candidates are looked up from); it is returned as the
// child will start it, always holding a "/". Nothing when no entry has it.
std::optional<std::string> find_on_search_path(std::string_view name, int cwd_dir, const Environment& env);

}  // namespace lantor
