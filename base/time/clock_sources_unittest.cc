#include "base/time/clock_sources.h"

#include <stdint.h>

#include <atomic>
#include <limits>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace time_internal {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

TEST(ClockSourcesTest, CounterToMicrosecondsAcrossTheFormulaSwitch) {
  const int64_t frequency = 10000000;  // A common 10 MHz counter.
  EXPECT_EQ(0, CounterToMicroseconds(0, frequency));
  EXPECT_EQ(1, CounterToMicroseconds(10, frequency));
  EXPECT_EQ(1, CounterToMicroseconds(19, frequency));
  // The last reading of the direct formula and the first of the split one
  // must be neighbours on the same scale.
  const int64_t last_direct = kMax / 1000000;
  EXPECT_EQ(last_direct / 10, CounterToMicroseconds(last_direct, frequency));
  EXPECT_EQ((last_direct + 1) / 10, CounterToMicroseconds(last_direct + 1, frequency));
  EXPECT_EQ((last_direct + 17) / 10, CounterToMicroseconds(last_direct + 17, frequency));
  // Near the top the split formula still does not overflow.
  EXPECT_EQ(kMax / 10, CounterToMicroseconds(kMax, frequency));
  // Both formulas are the exact floor of ticks * 10^6 / frequency.
  for (int64_t f : {int64_t{3579545}, int64_t{10000000}, int64_t{2400000000}}) {
    for (int64_t ticks : {int64_t{12345}, last_direct, last_direct + 1, kMax / 7, kMax}) {
      const __int128 exact = static_cast<__int128>(ticks) * 1000000 / f;
      EXPECT_EQ(static_cast<int64_t>(exact), CounterToMicroseconds(ticks, f)) << f << " " << ticks;
    }
  }
}

TEST(ClockSourcesTest, CoarseClockOnlyForOldAmdParts) {
  EXPECT_TRUE(IsAmdWithUnreliableCounter("AuthenticAMD", 15, 0));
  // Every later AMD family reports base family 15 with an extended family.
  EXPECT_FALSE(IsAmdWithUnreliableCounter("AuthenticAMD", 15, 8));
  EXPECT_FALSE(IsAmdWithUnreliableCounter("AuthenticAMD", 15, 0x0A));
  EXPECT_FALSE(IsAmdWithUnreliableCounter("AuthenticAMD", 6, 0));
  EXPECT_FALSE(IsAmdWithUnreliableCounter("GenuineIntel", 15, 0));

  EXPECT_TRUE(ShouldUsePerformanceCounter(10000000, true, false));
  EXPECT_FALSE(ShouldUsePerformanceCounter(0, true, false));
  EXPECT_FALSE(ShouldUsePerformanceCounter(10000000, false, false));
  EXPECT_FALSE(ShouldUsePerformanceCounter(10000000, true, true));
}

uint32_t g_fake_milliseconds = 0;
uint32_t ReadFakeMilliseconds() {
  return g_fake_milliseconds;
}

TEST(ClockSourcesTest, RolloverCounterKeepsIncreasingAcrossWraps) {
  RolloverCounter counter(&ReadFakeMilliseconds);
  g_fake_milliseconds = 0xFFFFFFF0u;
  const TimeTicks before_wrap = counter.Now();
  EXPECT_EQ(int64_t{0xFFFFFFF0} * 1000, before_wrap.ToInternalValue());
  g_fake_milliseconds = 0x10;
  const TimeTicks after_wrap = counter.Now();
  EXPECT_EQ(0x20 * 1000, (after_wrap - before_wrap).InMicroseconds());
  // An equal reading is no wrap.
  EXPECT_EQ(after_wrap, counter.Now());
  g_fake_milliseconds = 0x05;
  const TimeTicks second_wrap = counter.Now();
  EXPECT_EQ(((int64_t{2} << 32) + 5) * 1000, second_wrap.ToInternalValue());
}

// A fake tick source and system clock sharing one counter of microseconds;
// every tick reading advances it by a second.
std::atomic<int64_t> g_fake_us{0};
constexpr int64_t kTickStep = 1000000;
constexpr int64_t kWallOffset = INT64_C(13000000000000000);

TimeTicks FakeTicksAdvancing() {
  return TimeTicks::FromInternalValue(g_fake_us.fetch_add(kTickStep));
}
int64_t FakeSystemTime() {
  return g_fake_us.load() + kWallOffset;
}

int64_t g_fixed_ticks_us = 0;
int64_t g_fixed_system_us = 0;
TimeTicks FixedTicks() {
  return TimeTicks::FromInternalValue(g_fixed_ticks_us);
}
int64_t FixedSystemTime() {
  return g_fixed_system_us;
}

TEST(ClockSourcesTest, WallClockRebasesAfterAMinuteOfTicks) {
  WallClock clock(&FixedTicks, &FixedSystemTime);
  g_fixed_ticks_us = 5000000;
  g_fixed_system_us = 1000000000;
  EXPECT_EQ(1000000000, clock.Now().ToInternalValue());

  // The system clock jumps but the base holds for a minute of ticks.
  g_fixed_system_us = 7000000000;
  g_fixed_ticks_us += 60000 * 1000 + 999;
  EXPECT_EQ(1000000000 + 60000999, clock.Now().ToInternalValue());

  // One more millisecond of ticks and the base is taken again.
  g_fixed_ticks_us += 1000;
  EXPECT_EQ(7000000000, clock.Now().ToInternalValue());
  g_fixed_ticks_us += 250;
  EXPECT_EQ(7000000250, clock.Now().ToInternalValue());

  // Rebase takes the system clock at once.
  g_fixed_system_us = 9000000000;
  EXPECT_EQ(9000000000, clock.Rebase().ToInternalValue());
  EXPECT_EQ(9000000000, clock.Now().ToInternalValue());
}

TEST(ClockSourcesTest, WallClockNeverPairsNewTicksWithAnOldBase) {
  g_fake_us = 0;
  WallClock clock(&FakeTicksAdvancing, &FakeSystemTime);
  // Within one Now, the base's system reading comes one step after its tick
  // reading, so a sound result is the last tick reading plus one step. A
  // result that mixes another thread's base is off by many steps.
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        const int64_t before = g_fake_us.load();
        const int64_t result = clock.Now().ToInternalValue() - kWallOffset;
        const int64_t after = g_fake_us.load();
        if (result < before + kTickStep || result > after + kTickStep)
          ++bad;
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(0, bad.load());
}

}  // namespace
}  // namespace time_internal
}  // namespace base
