#include "base/time/time.h"

#include "base/time/clock_sources.h"

namespace base {

namespace time_internal {

int64_t SaturatedAdd(int64_t a, int64_t b) {
  int64_t result;
  if (!__builtin_add_overflow(a, b, &result))
    return result;
  // The wrapped sum has the wrong sign: non-negative means we fell below.
  return result >= 0 ? -kInt64Max : kInt64Max;
}

int64_t SaturatedSub(int64_t a, int64_t b) {
  int64_t result;
  if (!__builtin_sub_overflow(a, b, &result))
    return result;
  return result >= 0 ? -kInt64Max : kInt64Max;
}

}  // namespace time_internal

using time_internal::kInt64Max;

// TimeDelta ------------------------------------------------------------------

TimeDelta TimeDelta::FromProduct(int64_t value, int64_t unit) {
  if (value > kInt64Max / unit)
    return Max();
  if (value < -kInt64Max / unit)
    return TimeDelta(-kInt64Max);
  return TimeDelta(value * unit);
}

int64_t TimeDelta::InSeconds() const {
  if (is_max())
    return kInt64Max;
  return delta_ / kMicrosecondsPerSecond;
}

double TimeDelta::InSecondsF() const {
  if (is_max())
    return std::numeric_limits<double>::infinity();
  return static_cast<double>(delta_) / kMicrosecondsPerSecond;
}

int64_t TimeDelta::InMilliseconds() const {
  if (is_max())
    return kInt64Max;
  return delta_ / kMicrosecondsPerMillisecond;
}

int64_t TimeDelta::InMillisecondsRoundedUp() const {
  // Adding 999 near the top would wrap to a negative count, which a sleep or
  // wait would then read as a tiny or endless delay.
  if (delta_ > kInt64Max - (kMicrosecondsPerMillisecond - 1))
    return kInt64Max;
  return (delta_ + kMicrosecondsPerMillisecond - 1) / kMicrosecondsPerMillisecond;
}

double TimeDelta::InMillisecondsF() const {
  if (is_max())
    return std::numeric_limits<double>::infinity();
  return static_cast<double>(delta_) / kMicrosecondsPerMillisecond;
}

TimeDelta TimeDelta::operator*(int64_t factor) const {
  int64_t result;
  if (!__builtin_mul_overflow(delta_, factor, &result))
    return TimeDelta(result);
  return TimeDelta((delta_ < 0) == (factor < 0) ? kInt64Max : -kInt64Max);
}

TimeDelta TimeDelta::operator/(int64_t divisor) const {
  if (divisor == 0)
    return TimeDelta(delta_ < 0 ? -kInt64Max : kInt64Max);
  // The one quotient that does not fit: INT64_MIN / -1.
  if (divisor == -1)
    return -*this;
  return TimeDelta(delta_ / divisor);
}

// Time -----------------------------------------------------------------------

namespace {

time_internal::WallClock g_wall_clock(&TimeTicks::Now, &time_internal::SystemTimeMicroseconds);

}  // namespace

Time Time::Now() {
  return g_wall_clock.Now();
}

Time Time::NowFromSystemTime() {
  return g_wall_clock.Rebase();
}

int64_t Time::ToTimeT() const {
  if (is_null())
    return 0;
  if (us_ >= kInt64Max - kTimeTToMicrosecondsOffset)
    return kInt64Max;
  // Far in the past the difference would leave the 64-bit range.
  return time_internal::SaturatedSub(us_, kTimeTToMicrosecondsOffset) /
         TimeDelta::kMicrosecondsPerSecond;
}

int64_t Time::ToJavaTime() const {
  if (is_null())
    return 0;
  if (is_max())
    return kInt64Max;
  return time_internal::SaturatedSub(us_, kTimeTToMicrosecondsOffset) /
         TimeDelta::kMicrosecondsPerMillisecond;
}

}  // namespace base
