// The state one Compiler instance keeps between commands.
#pragma once

#include <cstdint>
#include <map>

#include "core/base/call_context.h"
#include "core/base/file.h"

namespace lantor {

struct CommandState {
  // The bytes read by `artifact_bytes`, by handle.
  std::map<std::uint64_t, ByteBuffer> artifacts;
  // The handle the next successful `artifact_bytes` assigns.
  std::uint64_t next_handle = 0;
  // Where the running command resolves relative paths and what environment
  // its builds get: the caller sets it for each command (the default follows
  // the process's working directory and environment as they are when used).
  CallContext context;
};

}  // namespace lantor
