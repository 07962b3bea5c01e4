#ifndef BASE_SYNCHRONIZATION_WAIT_MILLISECONDS_H_
#define BASE_SYNCHRONIZATION_WAIT_MILLISECONDS_H_

#include <stdint.h>

#include "base/time/time.h"

namespace base {
namespace internal {

// The system's "wait forever" timeout.
constexpr uint32_t kInfiniteWaitMilliseconds = 0xFFFFFFFF;

// A millisecond count as a 32-bit system timeout: negative counts wait 0 ms,
// counts that do not fit below the infinite value (and Max) wait forever.
// A plain cast would turn -5 ms into an endless wait and wrap long delays.
inline uint32_t ClampToWaitMilliseconds(int64_t ms) {
  if (ms < 0)
    return 0;
  if (ms >= kInfiniteWaitMilliseconds)
    return kInfiniteWaitMilliseconds;
  return static_cast<uint32_t>(ms);
}

inline uint32_t WaitMillisecondsFor(TimeDelta delay) {
  return ClampToWaitMilliseconds(delay.InMilliseconds());
}

// One step of a sleep loop: the remaining span rounded up to whole
// milliseconds, at most the longest finite sleep, so that the caller's loop
// rather than an endless sleep covers spans beyond 49 days.
inline uint32_t SleepMillisecondsFor(TimeDelta remaining) {
  const int64_t ms = remaining.InMillisecondsRoundedUp();
  if (ms >= kInfiniteWaitMilliseconds)
    return kInfiniteWaitMilliseconds - 1;
  return ms < 0 ? 0 : static_cast<uint32_t>(ms);
}

}  // namespace internal
}  // namespace base

#endif  // BASE_SYNCHRONIZATION_WAIT_MILLISECONDS_H_
