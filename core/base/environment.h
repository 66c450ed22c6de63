// The environment variables a child process is started with, either the
// process's own, read when used, or a copy taken at one moment.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace lantor {

class Environment {
 public:
  // The process's own environment, read each time it is used.
  Environment() = default;
  // A copy of the process's environment as it is now: later changes to the
  // process's environment (another thread's putenv, say) do not reach it.
  static Environment snapshot();

  // The value of `name`, or nullptr when it is not set.
  const char* find(std::string_view name) const;
  // The NULL-terminated list of "NAME=value" entries that execve takes.
  char* const* entries() const;

 private:
  bool copied_ = false;
  // Every entry of the copy with its NUL, one after the other; `entries_`
  // points into it and ends with nullptr. A heap array, so that the pointers
  // stay valid when the object moves.
  std::unique_ptr<char[]> text_;
  std::vector<char*> entries_;
};

}  // namespace lantor
