#ifndef BASE_HASH_SUPER_FAST_HASH_H_
#define BASE_HASH_SUPER_FAST_HASH_H_

#include <stdint.h>

namespace base {

// Paul Hsieh's SuperFastHash: quick and well spread, not for security.
// 0 for null data or a length below 1.
uint32_t SuperFastHash(const char* data, int length);

}  // namespace base

#endif  // BASE_HASH_SUPER_FAST_HASH_H_
