#include "base/synchronization/lock.h"

#include <atomic>
#include <thread>
#include <vector>

#include "base/synchronization/atomic_flag.h"
#include "base/synchronization/wait_milliseconds.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(LockTest, AutoLockSerialisesWriters) {
  Lock lock;
  int64_t counter = 0;  // Deliberately not atomic: the lock must protect it.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        AutoLock hold(lock);
        counter = counter + 1;
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(80000, counter);
}

TEST(LockTest, AutoUnlockLetsOthersInAndTakesTheLockBack) {
  Lock lock;
  std::atomic<bool> other_held{false};
  AutoLock hold(lock);
  {
    AutoUnlock release(lock);
    // Would never finish if the lock were still held.
    std::thread other([&] {
      AutoLock inner(lock);
      other_held = true;
    });
    other.join();
  }
  EXPECT_TRUE(other_held);
  // Held again here: another thread now has to wait.
  std::atomic<bool> acquired{false};
  std::thread waiter([&] {
    AutoLock inner(lock);
    acquired = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(acquired);
  lock.Release();
  waiter.join();
  lock.Acquire();  // For the AutoLock's release.
  EXPECT_TRUE(acquired);
}

TEST(AtomicFlagTest, SetIsSeenByOtherThreads) {
  AtomicFlag flag;
  EXPECT_FALSE(flag.IsSet());
  std::thread setter([&] { flag.Set(); });
  setter.join();
  EXPECT_TRUE(flag.IsSet());
}

TEST(WaitMillisecondsTest, DelaysBecomeSafeSystemTimeouts) {
  using internal::kInfiniteWaitMilliseconds;
  using internal::WaitMillisecondsFor;
  EXPECT_EQ(0u, WaitMillisecondsFor(TimeDelta::FromMilliseconds(-5)));
  EXPECT_EQ(0u, WaitMillisecondsFor(TimeDelta::FromMicroseconds(-1999)));
  EXPECT_EQ(0u, WaitMillisecondsFor(TimeDelta()));
  EXPECT_EQ(1500u, WaitMillisecondsFor(TimeDelta::FromMicroseconds(1500999)));
  EXPECT_EQ(0xFFFFFFFEu, WaitMillisecondsFor(TimeDelta::FromMilliseconds(0xFFFFFFFE)));
  EXPECT_EQ(kInfiniteWaitMilliseconds, WaitMillisecondsFor(TimeDelta::FromMilliseconds(0xFFFFFFFF)));
  // 2^32 + 5 ms would wrap to 5 ms with a plain cast.
  EXPECT_EQ(kInfiniteWaitMilliseconds,
            WaitMillisecondsFor(TimeDelta::FromMilliseconds((int64_t{1} << 32) + 5)));
  EXPECT_EQ(kInfiniteWaitMilliseconds, WaitMillisecondsFor(TimeDelta::Max()));
}

TEST(WaitMillisecondsTest, SleepStepsAreFiniteAndRoundedUp) {
  using internal::SleepMillisecondsFor;
  EXPECT_EQ(1u, SleepMillisecondsFor(TimeDelta::FromMicroseconds(1)));
  EXPECT_EQ(2u, SleepMillisecondsFor(TimeDelta::FromMicroseconds(1001)));
  EXPECT_EQ(0u, SleepMillisecondsFor(TimeDelta::FromMicroseconds(-3000)));
  EXPECT_EQ(0xFFFFFFFEu, SleepMillisecondsFor(TimeDelta::FromMilliseconds((int64_t{1} << 32) + 5)));
  EXPECT_EQ(0xFFFFFFFEu, SleepMillisecondsFor(TimeDelta::Max()));
  EXPECT_EQ(0xFFFFFFFEu, SleepMillisecondsFor(TimeDelta::Max() - TimeDelta::FromMicroseconds(1)));
}

}  // namespace
}  // namespace base
