#ifndef BASE_HASH_MD5_H_
#define BASE_HASH_MD5_H_

#include <stdint.h>

#include "base/strings/string_piece.h"

namespace base {

// MD5 (RFC 1321) in steps. Not for security: for spreading names.
struct MD5Context {
  uint32_t state[4];  // The chaining words.
  uint32_t bits[2];   // Message length in bits: low word, high word.
  uint8_t buffer[64];  // The partial block.
};

struct MD5Digest {
  uint8_t a[16];
};

void MD5Init(MD5Context* context);
void MD5Update(MD5Context* context, StringPiece data);
// Writes the digest and wipes the context.
void MD5Final(MD5Digest* digest, MD5Context* context);

}  // namespace base

#endif  // BASE_HASH_MD5_H_
