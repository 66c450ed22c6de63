// SHA-256 digests as 64 lower-case hexadecimal characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lantor {

// An incremental SHA-256 digest. Feed it pieces with update(); hex() finishes
// it. Used where the bytes to hash are produced in pieces, so that no second
// copy of a large text is needed. Its state is held in place (libcrypto's
// SHA-256 context, kept opaque here): making, copying and dropping a digest
// costs no allocation.
class Sha256 {
 public:
  Sha256();
  // A copy carries on from the same state independently.
  Sha256(const Sha256& other) = default;
  Sha256& operator=(const Sha256&) = delete;

  void update(const void* data, std::size_t len);
  void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
  // Finishes the digest and returns it as lower-case hex. Call once.
  std::string hex();
  // The same, written to `out` (64 characters, no terminator).
  void hex_to(char* out);

 private:
  // Room for libcrypto's context, whose size the source file checks.
  alignas(8) unsigned char state_[112];
};

// The SHA-256 digest of `bytes` as 64 lower-case hexadecimal characters.
std::string sha256_hex(std::string_view bytes);

// Lower-case hex of a raw digest.
std::string to_hex(const unsigned char* digest, std::size_t len);

}  // namespace lantor
