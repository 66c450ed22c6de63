// Running a program to completion with its output captured.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/base/result.h"

namespace lantor {

struct ChildOutcome {
  // True when the child exited with status 0; false for any other exit status
  // and for death by a signal.
  bool success = false;
  // The end of what the child wrote to standard error: at least the last
  // `stderr_keep` bytes, and all of it when it wrote no more than that.
  std::string stderr_bytes;
};

// Runs `program`, looked up on PATH, with `args` (not including the program
// name) in the working directory `cwd`, with the caller's environment,
// standard input on /dev/null and standard output and standard error read
// through pipes until both close. Standard output is read and dropped. Blocks
// until the child has exited and been reaped. Fails with the system error
// text when the child cannot be started.
Result<ChildOutcome> run_child(const std::string& program, const std::vector<std::string>& args,
                               const std::string& cwd, std::size_t stderr_keep);

}  // namespace lantor
