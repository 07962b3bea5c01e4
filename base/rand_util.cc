#include "base/rand_util.h"

#include <string.h>

#include <atomic>
#include <limits>

#include "base/logging.h"

#if !defined(_WIN32)
#include <errno.h>
#include <sys/random.h>
#endif

namespace base {

namespace {

std::atomic<RandomBytesSource> g_source{&internal::SystemRandomBytes};

uint64_t RandUint64() {
  uint64_t value = 0;
  // A generator that fails leaves nothing sound to return.
  const bool filled =
      g_source.load(std::memory_order_relaxed)(&value, sizeof(value));
  CHECK(filled) << "The system's random generator failed";
  return value;
}

}  // namespace

#if !defined(_WIN32)
namespace internal {

// The host build's generator; the product uses RtlGenRandom.
bool SystemRandomBytes(void* output, size_t size) {
  char* out = static_cast<char*>(output);
  while (size > 0) {
    ssize_t got = getrandom(out, size, 0);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    out += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace internal
#endif

RandomBytesSource SetRandomBytesSourceForTesting(RandomBytesSource source) {
  return g_source.exchange(source);
}

uint64_t RandGenerator(uint64_t range) {
  CHECK_NE(range, 0u);
  // Values above the last whole multiple of |range| would favour the low
  // results; they are drawn again.
  const uint64_t max_acceptable =
      std::numeric_limits<uint64_t>::max() / range * range - 1;
  uint64_t value;
  do {
    value = RandUint64();
  } while (value > max_acceptable);
  return value % range;
}

int RandInt(int min, int max) {
  CHECK_LE(min, max);
  const uint64_t range =
      static_cast<uint64_t>(static_cast<int64_t>(max) - min) + 1;
  return static_cast<int>(min + static_cast<int64_t>(RandGenerator(range)));
}

}  // namespace base
