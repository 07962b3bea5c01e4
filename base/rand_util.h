#ifndef BASE_RAND_UTIL_H_
#define BASE_RAND_UTIL_H_

#include <stddef.h>
#include <stdint.h>

namespace base {

// A uniformly distributed value in [0, range). |range| must not be 0.
uint64_t RandGenerator(uint64_t range);

// A uniformly distributed value in [min, max]. |min| must not exceed |max|.
int RandInt(int min, int max);

// Fills |output| with |size| bytes from the operating system's generator;
// false when the system could not.
using RandomBytesSource = bool (*)(void* output, size_t size);

// Replaces the byte source until called again, and returns the previous
// one. For tests only: not to be called while other threads draw numbers.
RandomBytesSource SetRandomBytesSourceForTesting(RandomBytesSource source);

namespace internal {
// The operating system's generator.
bool SystemRandomBytes(void* output, size_t size);
}  // namespace internal

}  // namespace base

#endif  // BASE_RAND_UTIL_H_
