// Clocks for the host build, where the portable time code is tested.
#if !defined(_WIN32)

#include <time.h>

#include "base/time/clock_sources.h"
#include "base/time/time.h"

namespace base {

namespace {

int64_t ReadClock(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<int64_t>(ts.tv_sec) * TimeDelta::kMicrosecondsPerSecond +
         ts.tv_nsec / 1000;
}

}  // namespace

namespace time_internal {

int64_t SystemTimeMicroseconds() {
  return ReadClock(CLOCK_REALTIME) + Time::kTimeTToMicrosecondsOffset;
}

}  // namespace time_internal

TimeTicks TimeTicks::Now() {
  return TimeTicks::FromInternalValue(ReadClock(CLOCK_MONOTONIC));
}

}  // namespace base

#endif  // !defined(_WIN32)
