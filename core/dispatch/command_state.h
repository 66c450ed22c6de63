// The state one Compiler instance keeps between commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>

namespace lantor {

// A heap byte buffer that is not zero-filled before it is read into.
struct ByteBuffer {
  std::unique_ptr<unsigned char[]> data;
  std::size_t size = 0;
};

struct CommandState {
  // The bytes read by `artifact_bytes`, by handle.
  std::map<std::uint64_t, ByteBuffer> artifacts;
  // The handle the next successful `artifact_bytes` assigns.
  std::uint64_t next_handle = 0;
};

}  // namespace lantor
