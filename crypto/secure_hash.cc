// The SHA256_* calls are deprecated in OpenSSL 3 in favour of the EVP
// interface; they remain, and keep this object a plain copyable context.
#define OPENSSL_API_COMPAT 10101

#include "crypto/secure_hash.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>
#include <string.h>

#include "base/logging.h"

namespace crypto {

namespace {

class SecureHashSHA256 : public SecureHash {
 public:
  SecureHashSHA256() { SHA256_Init(&ctx_); }
  SecureHashSHA256(const SecureHashSHA256& other) : SecureHash(other) {
    memcpy(&ctx_, &other.ctx_, sizeof(ctx_));
  }
  SecureHashSHA256& operator=(const SecureHashSHA256&) = delete;

  ~SecureHashSHA256() override { OPENSSL_cleanse(&ctx_, sizeof(ctx_)); }

  void Update(const void* input, size_t len) override {
    SHA256_Update(&ctx_, input, len);
  }

  void Finish(void* output, size_t len) override {
    if (len >= SHA256_DIGEST_LENGTH) {
      SHA256_Final(static_cast<unsigned char*>(output), &ctx_);
      return;
    }
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256_Final(digest, &ctx_);
    memcpy(output, digest, len);
    OPENSSL_cleanse(digest, sizeof(digest));
  }

  size_t GetHashLength() const override { return SHA256_DIGEST_LENGTH; }

  std::unique_ptr<SecureHash> Clone() const override {
    return std::make_unique<SecureHashSHA256>(*this);
  }

 private:
  SHA256_CTX ctx_;
};

}  // namespace

// static
std::unique_ptr<SecureHash> SecureHash::Create(Algorithm algorithm) {
  switch (algorithm) {
    case SHA256:
      return std::make_unique<SecureHashSHA256>();
  }
  LOG(ERROR) << "NOT IMPLEMENTED";
  return nullptr;
}

}  // namespace crypto
