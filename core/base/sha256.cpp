// libcrypto's SHA-256 through its plain context functions rather than its
// EVP interface: the EVP interface looks the algorithm up through its
// providers and allocates a context for every digest, which costs more than
// hashing one of the few small files of a project. The plain functions reach
// the same implementation (with the processor's SHA instructions where it has
// them) on a context that lives wherever the caller keeps it.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "core/base/sha256.h"

#include <openssl/sha.h>

#include <cstdlib>

namespace lantor {
namespace {

static_assert(sizeof(SHA256_CTX) <= 112 && alignof(SHA256_CTX) <= 8, "Sha256::state_ must hold a SHA256_CTX");

// The context in the storage kept for it.
SHA256_CTX* context(unsigned char* state) { return reinterpret_cast<SHA256_CTX*>(state); }

constexpr char kDigits[] = "0123456789abcdef";

void write_hex(const unsigned char* digest, std::size_t len, char* out) {
  for (std::size_t i = 0; i < len; ++i) {
    out[2 * i] = kDigits[digest[i] >> 4];
    out[2 * i + 1] = kDigits[digest[i] & 0xF];
  }
}

}  // namespace

Sha256::Sha256() {
  // Only a null context makes it fail.
  if (SHA256_Init(context(state_)) != 1) std::abort();
}

void Sha256::update(const void* data, std::size_t len) {
  if (len != 0) SHA256_Update(context(state_), data, len);
}

void Sha256::hex_to(char* out) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256_Final(digest, context(state_));
  write_hex(digest, sizeof digest, out);
}

std::string Sha256::hex() {
  std::string out(std::size_t{2} * SHA256_DIGEST_LENGTH, '0');
  hex_to(out.data());
  return out;
}

std::string to_hex(const unsigned char* digest, std::size_t len) {
  std::string out(len * 2, '0');
  write_hex(digest, len, out.data());
  return out;
}

std::string sha256_hex(std::string_view bytes) {
  Sha256 digest;
  digest.update(bytes);
  return digest.hex();
}

}  // namespace lantor
