// What a command takes from the process that runs it: the directory its
// relative paths start from, the environment its child processes get, and
// what a wait that a signal interrupts should do.
#pragma once

#include <fcntl.h>

#include <memory>

#include "core/base/environment.h"
#include "core/base/file.h"

namespace lantor {

class CallContext {
 public:
  // The process's working directory and environment, looked up whenever
  // they are used; an interrupted wait goes on.
  CallContext() = default;
  // The working directory (as a directory handle) and the environment as
  // they are now, kept for the command however the process changes them
  // afterwards. Should the working directory not be openable, relative
  // paths keep following the process's.
  static CallContext capture();

  // The directory handle relative paths are resolved against.
  int dir() const { return dir_ ? dir_->get() : AT_FDCWD; }
  const Environment& environment() const { return env_; }

  // `check(arg)` is asked whenever a signal interrupts a wait that could
  // last long (for another compile's hold on a project): true ends the wait.
  using InterruptCheck = bool (*)(void* arg);
  void on_interrupt(InterruptCheck check, void* arg) {
    check_ = check;
    check_arg_ = arg;
  }
  bool stop_after_interrupt() const { return check_ != nullptr && check_(check_arg_); }

 private:
  // Shared: captures that find the same working directory share a handle.
  std::shared_ptr<const FileDescriptor> dir_;
  Environment env_;
  InterruptCheck check_ = nullptr;
  void* check_arg_ = nullptr;
};

}  // namespace lantor
