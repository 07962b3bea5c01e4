#ifndef CRYPTO_SECURE_HASH_H_
#define CRYPTO_SECURE_HASH_H_

#include <stddef.h>

#include <memory>

namespace crypto {

// A streaming cryptographic hash. Only SHA-256 is implemented.
class SecureHash {
 public:
  enum Algorithm {
    SHA256 = 0,
  };

  // Null, with an error logged, for an algorithm that is not implemented.
  static std::unique_ptr<SecureHash> Create(Algorithm type);

  virtual ~SecureHash() = default;

  virtual void Update(const void* input, size_t len) = 0;
  // Writes min(len, GetHashLength()) bytes of the digest. Update no more
  // after this.
  virtual void Finish(void* output, size_t len) = 0;
  virtual size_t GetHashLength() const = 0;
  // A new object in the same state.
  virtual std::unique_ptr<SecureHash> Clone() const = 0;

 protected:
  SecureHash() = default;
  SecureHash(const SecureHash&) = default;
  SecureHash& operator=(const SecureHash&) = default;
};

}  // namespace crypto

#endif  // CRYPTO_SECURE_HASH_H_
