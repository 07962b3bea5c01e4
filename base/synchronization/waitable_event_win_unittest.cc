#include "base/synchronization/waitable_event.h"

#include <windows.h>

#include <thread>

#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using ResetPolicy = WaitableEvent::ResetPolicy;
using InitialState = WaitableEvent::InitialState;

TEST(WaitableEventTest, ManualAndAutomaticReset) {
  WaitableEvent manual(ResetPolicy::MANUAL, InitialState::SIGNALED);
  EXPECT_TRUE(manual.IsSignaled());
  EXPECT_TRUE(manual.IsSignaled());
  manual.Reset();
  EXPECT_FALSE(manual.IsSignaled());

  WaitableEvent automatic(ResetPolicy::AUTOMATIC, InitialState::NOT_SIGNALED);
  EXPECT_FALSE(automatic.IsSignaled());
  automatic.Signal();
  EXPECT_TRUE(automatic.IsSignaled());
  EXPECT_FALSE(automatic.IsSignaled());
}

TEST(WaitableEventTest, TimedWaitClampsItsDelay) {
  WaitableEvent event(ResetPolicy::MANUAL, InitialState::NOT_SIGNALED);
  // A negative delay is a poll, not an endless wait.
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMilliseconds(-5)));
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMilliseconds(10)));

  // Max waits until the signal comes, however late.
  std::thread signaller([&] {
    Sleep(50);
    event.Signal();
  });
  EXPECT_TRUE(event.TimedWait(TimeDelta::Max()));
  signaller.join();
  event.Wait();
}

TEST(ConditionVariableTest, SignalWakesAWaiter) {
  Lock lock;
  ConditionVariable cv(&lock);
  bool ready = false;
  std::thread producer([&] {
    Sleep(20);
    AutoLock hold(lock);
    ready = true;
    cv.Signal();
  });
  {
    AutoLock hold(lock);
    while (!ready)
      cv.Wait();
  }
  producer.join();
  EXPECT_TRUE(ready);
}

TEST(ConditionVariableTest, TimedWaitClampsItsDelay) {
  Lock lock;
  ConditionVariable cv(&lock);
  AutoLock hold(lock);
  // A plain 32-bit cast of -5 ms is INFINITE, and 2^32 + 20 ms wraps to
  // 20 ms: the first would hang, the second would return early.
  const DWORD start = GetTickCount();
  cv.TimedWait(TimeDelta::FromMilliseconds(-5));
  EXPECT_LT(GetTickCount() - start, 5000u);

  bool woken = false;
  std::thread waker([&] {
    Sleep(100);
    AutoLock inner(lock);
    woken = true;
    cv.Broadcast();
  });
  // One wait, woken only by the broadcast after 100 ms.
  cv.TimedWait(TimeDelta::FromMilliseconds((int64_t{1} << 32) + 20));
  EXPECT_TRUE(woken);
  AutoUnlock release(lock);
  waker.join();
}

}  // namespace
}  // namespace base
