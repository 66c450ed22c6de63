#include "core/base/sha256.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace lantor {

struct Sha256::Impl {
  EVP_MD_CTX* ctx = nullptr;
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
  impl_->ctx = EVP_MD_CTX_new();
  // Allocation failure of a few bytes, or a libcrypto without SHA-256, leaves
  // nothing sensible to report a digest with.
  if (impl_->ctx == nullptr || EVP_DigestInit_ex(impl_->ctx, EVP_sha256(), nullptr) != 1) std::abort();
}

Sha256::~Sha256() { EVP_MD_CTX_free(impl_->ctx); }

void Sha256::update(const void* data, std::size_t len) {
  if (len != 0) EVP_DigestUpdate(impl_->ctx, data, len);
}

std::string Sha256::hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_DigestFinal_ex(impl_->ctx, digest, &len);
  return to_hex(digest, len);
}

std::string to_hex(const unsigned char* digest, std::size_t len) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(len * 2, '0');
  for (std::size_t i = 0; i < len; ++i) {
    out[2 * i] = kDigits[digest[i] >> 4];
    out[2 * i + 1] = kDigits[digest[i] & 0xF];
  }
  return out;
}

std::string sha256_hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  // The one-shot form avoids a context allocation per call.
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_sha256(), nullptr) != 1) std::abort();
  return to_hex(digest, len);
}

}  // namespace lantor
