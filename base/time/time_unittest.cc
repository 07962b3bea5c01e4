#include "base/time/time.h"

#include <stdint.h>

#include <cstdlib>
#include <limits>

#include "gtest/gtest.h"

namespace base {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TimeDelta Us(int64_t us) {
  return TimeDelta::FromMicroseconds(us);
}

TEST(TimeDeltaTest, FromProductSaturatesAtBothEnds) {
  EXPECT_EQ(TimeDelta::Max(), TimeDelta::FromProduct(kMax / 1000 + 1, 1000));
  EXPECT_EQ(-kMax, TimeDelta::FromProduct(-(kMax / 1000) - 1, 1000).InMicroseconds());
  EXPECT_EQ(kMax / 1000 * 1000, TimeDelta::FromProduct(kMax / 1000, 1000).InMicroseconds());
  EXPECT_EQ(-(kMax / 1000) * 1000,
            TimeDelta::FromProduct(-(kMax / 1000), 1000).InMicroseconds());
  EXPECT_EQ(3 * TimeDelta::kMicrosecondsPerDay, TimeDelta::FromDays(3).InMicroseconds());
  EXPECT_EQ(-2500, TimeDelta::FromMilliseconds(-2).InMicroseconds() - 500);
}

TEST(TimeDeltaTest, AdditionAndSubtractionSaturate) {
  EXPECT_EQ(kMax, (Us(kMax) + Us(1)).InMicroseconds());
  EXPECT_EQ(-kMax, (Us(kMin) - Us(1)).InMicroseconds());
  // An exact result that fits is kept, INT64_MIN included.
  EXPECT_EQ(kMin, (Us(-kMax) - Us(1)).InMicroseconds());
  EXPECT_EQ(-kMax, (Us(-kMax) + Us(-kMax)).InMicroseconds());
  EXPECT_EQ(kMax, (Us(kMax) - Us(-5)).InMicroseconds());
  EXPECT_EQ(-kMax, (-Us(kMin)).InMicroseconds() * -1);
  EXPECT_EQ(kMax, (-Us(kMin)).InMicroseconds());
  TimeDelta accumulated = Us(kMax - 1);
  accumulated += Us(10);
  EXPECT_TRUE(accumulated.is_max());
}

TEST(TimeDeltaTest, MultiplicationAndDivisionSaturate) {
  EXPECT_EQ(kMax, (Us(kMax / 2 + 1) * 2).InMicroseconds());
  EXPECT_EQ(-kMax, (Us(kMax / 2 + 1) * -3).InMicroseconds());
  EXPECT_EQ(kMin, (Us(kMax / 2 + 1) * -2).InMicroseconds());
  EXPECT_EQ(kMax, (Us(kMin) * -1).InMicroseconds());
  EXPECT_EQ(-600, (3 * Us(-200)).InMicroseconds());
  EXPECT_EQ(kMax, (Us(kMin) / -1).InMicroseconds());
  EXPECT_EQ(kMax, (Us(5) / 0).InMicroseconds());
  EXPECT_EQ(-kMax, (Us(-5) / 0).InMicroseconds());
  EXPECT_EQ(-3, (Us(-7) / 2).InMicroseconds());
  EXPECT_EQ(3, Us(7000) / Us(2000));
}

TEST(TimeDeltaTest, MillisecondConversions) {
  EXPECT_EQ(-1, Us(-1999).InMilliseconds());
  EXPECT_EQ(kMax, TimeDelta::Max().InMilliseconds());
  EXPECT_EQ(1, Us(1).InMillisecondsRoundedUp());
  EXPECT_EQ(2, Us(1001).InMillisecondsRoundedUp());
  EXPECT_EQ(0, Us(0).InMillisecondsRoundedUp());
  EXPECT_EQ(0, Us(-1).InMillisecondsRoundedUp());
  EXPECT_EQ(kMax, TimeDelta::Max().InMillisecondsRoundedUp());
  // Just below Max adding 999 would wrap to a negative count.
  EXPECT_EQ(kMax, Us(kMax - 1).InMillisecondsRoundedUp());
  EXPECT_EQ(kMax, Us(kMax - 998).InMillisecondsRoundedUp());
  EXPECT_EQ((kMax - 999 + 999) / 1000, Us(kMax - 999).InMillisecondsRoundedUp());
  EXPECT_EQ(kMax, TimeDelta::Max().InSeconds());
  EXPECT_EQ(-2, Us(-2999999).InSeconds());
  EXPECT_DOUBLE_EQ(1.5, Us(1500).InMillisecondsF());
  EXPECT_DOUBLE_EQ(0.25, Us(250000).InSecondsF());
}

TEST(TimeTest, ArithmeticWithDeltas) {
  // Max gets no special treatment: a negative span makes it finite again.
  EXPECT_EQ(kMax - 10, (Time::Max() - Us(10)).ToInternalValue());
  EXPECT_EQ(kMax - 10, (Time::Max() + Us(-10)).ToInternalValue());
  EXPECT_TRUE((Time::Max() + Us(1)).is_max());
  EXPECT_EQ(-kMax, (Time::FromInternalValue(kMin) - Time::FromInternalValue(1)).InMicroseconds());
  EXPECT_EQ(Us(25), TimeTicks::FromInternalValue(75) - TimeTicks::FromInternalValue(50));
  TimeTicks ticks = TimeTicks::FromInternalValue(kMax - 3);
  ticks += Us(100);
  EXPECT_TRUE(ticks.is_max());
  EXPECT_TRUE(Time().is_null());
  EXPECT_LT(Time::FromInternalValue(1), Time::FromInternalValue(2));
}

TEST(TimeTest, UnixConversions) {
  EXPECT_EQ(0, Time().ToTimeT());
  EXPECT_EQ(kMax, Time::Max().ToTimeT());
  EXPECT_EQ(kMax, Time::FromInternalValue(kMax - Time::kTimeTToMicrosecondsOffset).ToTimeT());
  EXPECT_EQ(0, Time::FromInternalValue(Time::kTimeTToMicrosecondsOffset).ToTimeT());
  EXPECT_EQ(1, Time::FromInternalValue(Time::kTimeTToMicrosecondsOffset + 1999999).ToTimeT());
  // Before 1970 the quotient is truncated toward zero.
  EXPECT_EQ(-1, Time::FromInternalValue(Time::kTimeTToMicrosecondsOffset - 1999999).ToTimeT());
  // The earliest times saturate instead of wrapping.
  EXPECT_EQ(-kMax / 1000000, Time::FromInternalValue(kMin).ToTimeT());
  EXPECT_EQ(-kMax / 1000, Time::FromInternalValue(kMin).ToJavaTime());
  EXPECT_EQ(0, Time().ToJavaTime());
  EXPECT_EQ(kMax, Time::Max().ToJavaTime());
  EXPECT_EQ(1234, Time::FromInternalValue(Time::kTimeTToMicrosecondsOffset + 1234567).ToJavaTime());
  EXPECT_LT(Time::FromInternalValue(1).ToJavaTime(), 0);
}

TEST(TimeTest, NowFollowsTheSystemClock) {
  // Both readings come from the same process clocks; a broken base would
  // put them minutes or centuries apart.
  const Time now = Time::Now();
  const Time system = Time::NowFromSystemTime();
  EXPECT_LT(std::llabs((now - system).InSeconds()), 60);
  // 2020-01-01 as Unix seconds: the clock is not near its epoch.
  EXPECT_GT(Time::Now().ToTimeT(), 1577836800);
  const TimeTicks first = TimeTicks::Now();
  EXPECT_LE(first, TimeTicks::Now());
}

}  // namespace
}  // namespace base
