#ifndef BASE_TIME_CLOCK_SOURCES_H_
#define BASE_TIME_CLOCK_SOURCES_H_

#include <stdint.h>

#include <string>

#include "base/synchronization/lock.h"
#include "base/time/time.h"

// The arithmetic behind the process clocks, kept apart from the system calls
// that feed it so that rollover and re-basing can be driven by fake sources.
namespace base {
namespace time_internal {

// The system's wall clock in microseconds since 1601 (platform file).
int64_t SystemTimeMicroseconds();

// Scales a performance-counter reading to microseconds without letting the
// product overflow for large readings.
int64_t CounterToMicroseconds(int64_t ticks, int64_t frequency);

// Old AMD parts (family 15 proper, extended family 0) have counters that
// drift between cores; later families also report base family 15, so the
// extended family tells them apart.
bool IsAmdWithUnreliableCounter(const std::string& vendor, int family, int extended_family);

bool ShouldUsePerformanceCounter(int64_t frequency,
                                 bool has_non_stop_tsc,
                                 bool amd_with_unreliable_counter);

// Extends a 32-bit millisecond counter that wraps every 49.7 days into a
// monotonic microsecond count.
class RolloverCounter {
 public:
  using Source = uint32_t (*)();

  constexpr explicit RolloverCounter(Source source) : source_(source) {}
  RolloverCounter(const RolloverCounter&) = delete;
  RolloverCounter& operator=(const RolloverCounter&) = delete;

  TimeTicks Now();

 private:
  const Source source_;
  Lock lock_;
  uint32_t last_reading_ = 0;
  int64_t rollover_ms_ = 0;
};

// Wall time derived from ticks: a base pair (wall time, ticks) is taken from
// the system clock and re-taken once a minute of ticks has passed. The pair
// is read and written under one lock so that no caller can combine new ticks
// with an old wall time.
class WallClock {
 public:
  using TicksSource = TimeTicks (*)();
  using SystemSource = int64_t (*)();

  constexpr WallClock(TicksSource ticks, SystemSource system)
      : ticks_(ticks), system_(system) {}
  WallClock(const WallClock&) = delete;
  WallClock& operator=(const WallClock&) = delete;

  Time Now();
  // Takes a fresh base and returns its wall time.
  Time Rebase();

  static constexpr int64_t kMaxMillisecondsBetweenRebases = 60000;

 private:
  void RebaseLocked();

  const TicksSource ticks_;
  const SystemSource system_;
  Lock lock_;
  int64_t initial_time_us_ = 0;  // 0: no base yet.
  TimeTicks initial_ticks_;
};

}  // namespace time_internal
}  // namespace base

#endif  // BASE_TIME_CLOCK_SOURCES_H_
