#include "core/base/sha256.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace lantor {
namespace {

// The algorithm, fetched once. Passing EVP_sha256() to every digest makes
// libcrypto look the implementation up again on each initialisation, which
// costs more than hashing a small file.
const EVP_MD* sha256_md() {
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
  static const EVP_MD* md = [] {
    const EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return fetched != nullptr ? fetched : EVP_sha256();
  }();
  return md;
#else
  return EVP_sha256();
#endif
}

// One context per thread for one-shot digests, reset for each one instead
// of allocated and freed per call; and one for incremental digests, lent to
// one Sha256 at a time (a second one alive on the thread makes its own).
struct Holder {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  bool lent = false;
  ~Holder() { EVP_MD_CTX_free(ctx); }
};

EVP_MD_CTX* shared_context() {
  thread_local Holder holder;
  return holder.ctx;
}

Holder& incremental_holder() {
  thread_local Holder holder;
  return holder;
}

}  // namespace

Sha256::Sha256() {
  Holder& holder = incremental_holder();
  if (!holder.lent && holder.ctx != nullptr) {
    holder.lent = true;
    borrowed_ = true;
    ctx_ = holder.ctx;
  } else {
    ctx_ = EVP_MD_CTX_new();
  }
  // Allocation failure of a few bytes, or a libcrypto without SHA-256, leaves
  // nothing sensible to report a digest with.
  if (ctx_ == nullptr || EVP_DigestInit_ex(ctx_, sha256_md(), nullptr) != 1) std::abort();
}

Sha256::Sha256(const Sha256& other) : ctx_(EVP_MD_CTX_new()) {
  if (ctx_ == nullptr || EVP_MD_CTX_copy_ex(ctx_, other.ctx_) != 1) std::abort();
}

Sha256::~Sha256() {
  if (borrowed_)
    incremental_holder().lent = false;
  else
    EVP_MD_CTX_free(ctx_);
}

void Sha256::update(const void* data, std::size_t len) {
  if (len != 0) EVP_DigestUpdate(ctx_, data, len);
}

std::string Sha256::hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_DigestFinal_ex(ctx_, digest, &len);
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
  EVP_MD_CTX* ctx = shared_context();
  if (ctx == nullptr || EVP_DigestInit_ex(ctx, sha256_md(), nullptr) != 1 ||
      (!bytes.empty() && EVP_DigestUpdate(ctx, bytes.data(), bytes.size()) != 1) ||
      EVP_DigestFinal_ex(ctx, digest, &len) != 1)
    std::abort();
  return to_hex(digest, len);
}

}  // namespace lantor
