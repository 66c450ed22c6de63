// SHA-256 digests as 64 lower-case hexadecimal characters.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// libcrypto's digest context (EVP_MD_CTX), kept opaque here.
struct evp_md_ctx_st;

namespace lantor {

// An incremental SHA-256 digest. Feed it pieces with update(); hex() finishes
// it. Used where the bytes to hash are produced in pieces, so that no second
// copy of a large text is needed.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  // A copy carries on from the same state independently.
  Sha256(const Sha256& other);
  Sha256& operator=(const Sha256&) = delete;

  void update(const void* data, std::size_t len);
  void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
  // Finishes the digest and returns it as lower-case hex. Call once.
  std::string hex();

 private:
  evp_md_ctx_st* ctx_ = nullptr;
  // Whether ctx_ is the thread's reusable context rather than one of its own.
  bool borrowed_ = false;
};

// The SHA-256 digest of `bytes` as 64 lower-case hexadecimal characters.
std::string sha256_hex(std::string_view bytes);

// Lower-case hex of a raw digest.
std::string to_hex(const unsigned char* digest, std::size_t len);

}  // namespace lantor
