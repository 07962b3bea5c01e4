#ifndef BASE_HASH_SHA1_H_
#define BASE_HASH_SHA1_H_

#include <stddef.h>
#include <stdint.h>

namespace base {

constexpr size_t kSHA1Length = 20;

// Writes the SHA-1 (FIPS 180-1) digest of `data` to `hash`, 20 bytes.
void SHA1HashBytes(const uint8_t* data, size_t len, uint8_t* hash);

}  // namespace base

#endif  // BASE_HASH_SHA1_H_
