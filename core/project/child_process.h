// Running a program to completion with its output captured.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/base/environment.h"
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

// Runs `program` with `args` (not including the program name), looked up as
// search_path_candidates says (PATH taken from `env`), in the directory
// `cwd_dir` (a directory handle), with the environment `env`, standard input
// on /dev/null and standard output and standard error read through pipes
// until both close. Standard output is read and dropped. The child starts
// with no signal blocked, default handling of every signal the process
// catches and of SIGPIPE, and no descriptor but the three standard ones. It
// is killed should the thread that started it end before it does (the
// process killed, say); that thread blocks here until the child has exited
// and been reaped. Fails with the system error text when the child cannot be
// started (the last lookup's error, or "Permission denied" when a candidate
// was found but could not be run).
Result<ChildOutcome> run_child(const std::string& program, const std::vector<std::string>& args, int cwd_dir,
                               const Environment& env, std::size_t stderr_keep);

}  // namespace lantor
