// Finding a program on the executable search path without starting it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lantor {

// Looks `name` up in the directories of PATH in order, as starting a program
// by name does ("/bin:/usr/bin" when PATH is unset; an empty entry is the
// working directory), and returns the first candidate that is an executable
// regular file. The lookup is made for a child that runs in `cwd`: a relative
// entry is taken relative to `cwd`, and the returned path, which always holds
// a "/", names the program from there. Nothing when no entry has it.
std::optional<std::string> find_on_search_path(std::string_view name, std::string_view cwd);

}  // namespace lantor
