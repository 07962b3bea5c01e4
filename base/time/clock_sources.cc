#include "base/time/clock_sources.h"

namespace base {
namespace time_internal {

int64_t CounterToMicroseconds(int64_t ticks, int64_t frequency) {
  // Below this the product ticks * 1000000 still fits in 64 bits.
  constexpr int64_t kFirstUnsafeTicks = kInt64Max / TimeDelta::kMicrosecondsPerSecond + 1;
  if (ticks < kFirstUnsafeTicks)
    return ticks * TimeDelta::kMicrosecondsPerSecond / frequency;
  const int64_t whole_seconds = ticks / frequency;
  const int64_t leftover = ticks % frequency;
  return whole_seconds * TimeDelta::kMicrosecondsPerSecond +
         leftover * TimeDelta::kMicrosecondsPerSecond / frequency;
}

bool IsAmdWithUnreliableCounter(const std::string& vendor, int family, int extended_family) {
  return vendor == "AuthenticAMD" && family == 15 && extended_family == 0;
}

bool ShouldUsePerformanceCounter(int64_t frequency,
                                 bool has_non_stop_tsc,
                                 bool amd_with_unreliable_counter) {
  return frequency >= 1 && has_non_stop_tsc && !amd_with_unreliable_counter;
}

TimeTicks RolloverCounter::Now() {
  AutoLock hold(lock_);
  // Read under the lock: a reading taken before another thread's newer one
  // would otherwise look like a wrap.
  const uint32_t now = source_();
  if (now < last_reading_)
    rollover_ms_ += INT64_C(1) << 32;
  last_reading_ = now;
  const int64_t ms = static_cast<int64_t>(now) + rollover_ms_;
  return TimeTicks() + TimeDelta::FromMilliseconds(ms);
}

void WallClock::RebaseLocked() {
  initial_ticks_ = ticks_();
  initial_time_us_ = system_();
}

Time WallClock::Now() {
  AutoLock hold(lock_);
  if (initial_time_us_ == 0)
    RebaseLocked();
  TimeDelta elapsed = ticks_() - initial_ticks_;
  if (elapsed.is_max() || elapsed.InMilliseconds() > kMaxMillisecondsBetweenRebases) {
    RebaseLocked();
    // One fresh base is enough: whatever the ticks say now is at most the
    // time the two reads took.
    elapsed = ticks_() - initial_ticks_;
  }
  return Time::FromInternalValue(initial_time_us_) + elapsed;
}

Time WallClock::Rebase() {
  AutoLock hold(lock_);
  RebaseLocked();
  return Time::FromInternalValue(initial_time_us_);
}

}  // namespace time_internal
}  // namespace base
