#ifndef BASE_TIME_TIME_H_
#define BASE_TIME_TIME_H_

#include <stdint.h>

#include <limits>

#if defined(_WIN32)
struct _FILETIME;
#endif

namespace base {

namespace time_internal {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

// Saturating arithmetic on microsecond counts. An overflow gives INT64_MAX,
// an underflow -INT64_MAX, so that negating a saturated value never traps.
int64_t SaturatedAdd(int64_t a, int64_t b);
int64_t SaturatedSub(int64_t a, int64_t b);

}  // namespace time_internal

class TimeDelta {
 public:
  constexpr TimeDelta() : delta_(0) {}

  // value * unit, saturated; unit is positive.
  static TimeDelta FromProduct(int64_t value, int64_t unit);
  static TimeDelta FromDays(int64_t days) { return FromProduct(days, kMicrosecondsPerDay); }
  static TimeDelta FromHours(int64_t hours) { return FromProduct(hours, kMicrosecondsPerHour); }
  static TimeDelta FromMinutes(int64_t minutes) {
    return FromProduct(minutes, kMicrosecondsPerMinute);
  }
  static TimeDelta FromSeconds(int64_t seconds) {
    return FromProduct(seconds, kMicrosecondsPerSecond);
  }
  static TimeDelta FromMilliseconds(int64_t ms) {
    return FromProduct(ms, kMicrosecondsPerMillisecond);
  }
  static constexpr TimeDelta FromMicroseconds(int64_t us) { return TimeDelta(us); }
  static constexpr TimeDelta FromInternalValue(int64_t us) { return TimeDelta(us); }
  static constexpr TimeDelta Max() { return TimeDelta(time_internal::kInt64Max); }

  constexpr int64_t ToInternalValue() const { return delta_; }
  constexpr bool is_zero() const { return delta_ == 0; }
  constexpr bool is_max() const { return delta_ == time_internal::kInt64Max; }

  int64_t InSeconds() const;
  double InSecondsF() const;
  // Truncated toward zero; Max stays INT64_MAX.
  int64_t InMilliseconds() const;
  // Rounded up for positive spans; Max and values that would round past the
  // largest count give INT64_MAX.
  int64_t InMillisecondsRoundedUp() const;
  double InMillisecondsF() const;
  constexpr int64_t InMicroseconds() const { return delta_; }

  TimeDelta operator+(TimeDelta other) const {
    return TimeDelta(time_internal::SaturatedAdd(delta_, other.delta_));
  }
  TimeDelta operator-(TimeDelta other) const {
    return TimeDelta(time_internal::SaturatedSub(delta_, other.delta_));
  }
  TimeDelta& operator+=(TimeDelta other) { return *this = *this + other; }
  TimeDelta& operator-=(TimeDelta other) { return *this = *this - other; }
  TimeDelta operator-() const { return TimeDelta(time_internal::SaturatedSub(0, delta_)); }
  // Saturated like the other arithmetic.
  TimeDelta operator*(int64_t factor) const;
  // Division by zero is a programming error; the result saturates.
  TimeDelta operator/(int64_t divisor) const;
  int64_t operator/(TimeDelta other) const { return delta_ / other.delta_; }

  constexpr bool operator==(TimeDelta other) const { return delta_ == other.delta_; }
  constexpr bool operator!=(TimeDelta other) const { return delta_ != other.delta_; }
  constexpr bool operator<(TimeDelta other) const { return delta_ < other.delta_; }
  constexpr bool operator<=(TimeDelta other) const { return delta_ <= other.delta_; }
  constexpr bool operator>(TimeDelta other) const { return delta_ > other.delta_; }
  constexpr bool operator>=(TimeDelta other) const { return delta_ >= other.delta_; }

  static constexpr int64_t kMicrosecondsPerMillisecond = 1000;
  static constexpr int64_t kMicrosecondsPerSecond = 1000000;
  static constexpr int64_t kMicrosecondsPerMinute = kMicrosecondsPerSecond * 60;
  static constexpr int64_t kMicrosecondsPerHour = kMicrosecondsPerMinute * 60;
  static constexpr int64_t kMicrosecondsPerDay = kMicrosecondsPerHour * 24;

 private:
  constexpr explicit TimeDelta(int64_t delta) : delta_(delta) {}

  int64_t delta_;
};

inline TimeDelta operator*(int64_t factor, TimeDelta delta) {
  return delta * factor;
}

namespace time_internal {

// What Time and TimeTicks share: one microsecond count and saturating
// arithmetic with TimeDelta.
template <class T>
class TimeBase {
 public:
  constexpr bool is_null() const { return us_ == 0; }
  constexpr bool is_max() const { return us_ == kInt64Max; }
  constexpr int64_t ToInternalValue() const { return us_; }

  TimeDelta operator-(T other) const {
    return TimeDelta::FromMicroseconds(SaturatedSub(us_, other.us_));
  }
  T operator+(TimeDelta delta) const { return T(SaturatedAdd(us_, delta.InMicroseconds())); }
  T operator-(TimeDelta delta) const { return T(SaturatedSub(us_, delta.InMicroseconds())); }
  T& operator+=(TimeDelta delta) { return self() = self() + delta; }
  T& operator-=(TimeDelta delta) { return self() = self() - delta; }

  constexpr bool operator==(T other) const { return us_ == other.us_; }
  constexpr bool operator!=(T other) const { return us_ != other.us_; }
  constexpr bool operator<(T other) const { return us_ < other.us_; }
  constexpr bool operator<=(T other) const { return us_ <= other.us_; }
  constexpr bool operator>(T other) const { return us_ > other.us_; }
  constexpr bool operator>=(T other) const { return us_ >= other.us_; }

  static constexpr T FromInternalValue(int64_t us) { return T(us); }
  static constexpr T Max() { return T(kInt64Max); }

 protected:
  constexpr explicit TimeBase(int64_t us) : us_(us) {}

  int64_t us_;

 private:
  T& self() { return static_cast<T&>(*this); }
};

}  // namespace time_internal

// A wall-clock instant: microseconds since 1601-01-01 00:00:00 UTC, the
// epoch of FILETIME. 0 is the null time.
class Time : public time_internal::TimeBase<Time> {
 public:
  struct Exploded {
    int year;
    int month;         // 1-12
    int day_of_week;   // 0 = Sunday
    int day_of_month;  // 1-31
    int hour;
    int minute;
    int second;
    int millisecond;
  };

  static constexpr int64_t kTimeTToMicrosecondsOffset = INT64_C(11644473600000000);

  constexpr Time() : TimeBase(0) {}

  // The system clock as followed by the tick source, re-aligned at least
  // once per minute of ticks.
  static Time Now();
  // Re-aligns with the system clock and returns its time.
  static Time NowFromSystemTime();

  // Seconds and milliseconds since 1970-01-01 UTC, truncated toward zero.
  int64_t ToTimeT() const;
  int64_t ToJavaTime() const;

#if defined(_WIN32)
  static Time FromFileTime(const _FILETIME& ft);
  // Local calendar time to UTC through the system; false and a null time
  // when the system rejects it.
  static bool FromLocalExploded(const Exploded& exploded, Time* time);
  void LocalExplode(Exploded* exploded) const { Explode(true, exploded); }
  void UTCExplode(Exploded* exploded) const { Explode(false, exploded); }
  // Sets every field to 0 when the time cannot be converted.
  void Explode(bool is_local, Exploded* exploded) const;

  // Reference-counted 4 ms system timer period; always returns false
  // because the 1 ms period is never asked for.
  static bool ActivateHighResolutionTimer(bool activate);
#endif

 private:
  friend class time_internal::TimeBase<Time>;
  constexpr explicit Time(int64_t us) : TimeBase(us) {}
};

// A monotonic instant for measuring intervals; only differences mean
// anything.
class TimeTicks : public time_internal::TimeBase<TimeTicks> {
 public:
  constexpr TimeTicks() : TimeBase(0) {}

  static TimeTicks Now();

 private:
  friend class time_internal::TimeBase<TimeTicks>;
  constexpr explicit TimeTicks(int64_t us) : TimeBase(us) {}
};

#if defined(_WIN32)
// Per-thread CPU time facilities used by tracing.
class ThreadTicks {
 public:
  // True when the processor has an invariant time-stamp counter that can
  // be trusted across cores.
  static bool IsSupportedWin();
  // The time-stamp counter's frequency, measured against the performance
  // counter; 0.0 until at least 50 ms have passed since the first call.
  static double TSCTicksPerSecond();
};

namespace time_internal {
// The ActivateHighResolutionTimer(true) calls not yet balanced by a false.
uint32_t HighResolutionTimerActivations();
}  // namespace time_internal
#endif

}  // namespace base

#endif  // BASE_TIME_TIME_H_
