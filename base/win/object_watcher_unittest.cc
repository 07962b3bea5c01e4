#include "base/win/object_watcher.h"

#include <windows.h>

#include <functional>
#include <memory>

#include "base/bind.h"
#include "base/files/test_folder_win.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_loop_win.h"
#include "base/run_loop.h"
#include "gtest/gtest.h"
#include "testing/expect_trap.h"

namespace base {
namespace win {
namespace {

class Event {
 public:
  Event() : handle_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Event() { ::CloseHandle(handle_); }
  HANDLE get() const { return handle_; }
  void Signal() { ::SetEvent(handle_); }

 private:
  HANDLE handle_;
};

class CallbackDelegate : public ObjectWatcher::Delegate {
 public:
  explicit CallbackDelegate(std::function<void(HANDLE)> on_signaled)
      : on_signaled_(std::move(on_signaled)) {}
  void OnObjectSignaled(HANDLE object) override { on_signaled_(object); }

 private:
  std::function<void(HANDLE)> on_signaled_;
};

// Runs the loop until the delegate quits it (or a generous time passes).
void RunUntilQuit(RunLoop* run_loop) {
  MessageLoop::current()->task_runner()->PostDelayedTask(
      FROM_HERE, run_loop->QuitClosure(), TimeDelta::FromSeconds(10));
  run_loop->Run();
}

// Lets a signal reach the loop if it was going to.
void Settle() {
  RunLoop run_loop;
  MessageLoop::current()->task_runner()->PostDelayedTask(
      FROM_HERE, run_loop.QuitClosure(), TimeDelta::FromMilliseconds(50));
  run_loop.Run();
}

TEST(ObjectWatcherTest, CallsBackOnTheWatchingThreadOnce) {
  MessageLoop loop;
  Event event;
  RunLoop run_loop;
  HANDLE signaled = nullptr;
  DWORD thread = 0;
  int calls = 0;
  CallbackDelegate delegate([&](HANDLE object) {
    ++calls;
    signaled = object;
    thread = ::GetCurrentThreadId();
    run_loop.Quit();
  });
  ObjectWatcher watcher;
  ASSERT_TRUE(watcher.StartWatchingOnce(event.get(), &delegate));
  EXPECT_FALSE(watcher.StartWatchingOnce(event.get(), &delegate));
  EXPECT_TRUE(watcher.IsWatching());
  event.Signal();
  RunUntilQuit(&run_loop);
  EXPECT_EQ(1, calls);
  EXPECT_EQ(event.get(), signaled);
  EXPECT_EQ(::GetCurrentThreadId(), thread);
  // The watch ended before the delegate was called.
  EXPECT_FALSE(watcher.IsWatching());
  EXPECT_FALSE(watcher.StopWatching());
  Settle();
  EXPECT_EQ(1, calls);
}

TEST(ObjectWatcherTest, StopAfterTheSignalWasPostedCallsNothing) {
  // The loop's wake-up is a message this thread can wait for: once it
  // arrives, the wait's callback has posted the signal.
  MessageLoopForUI loop;
  Event event;
  int calls = 0;
  CallbackDelegate delegate([&](HANDLE) { ++calls; });
  ObjectWatcher watcher;
  ASSERT_TRUE(watcher.StartWatchingOnce(event.get(), &delegate));
  event.Signal();
  // Bounded, so that a signal never posted fails rather than hangs.
  ASSERT_EQ(WAIT_OBJECT_0, ::MsgWaitForMultipleObjectsEx(
                               0, nullptr, 30000, QS_POSTMESSAGE, 0));
  EXPECT_TRUE(watcher.StopWatching());
  Settle();
  EXPECT_EQ(0, calls);
}

TEST(ObjectWatcherTest, StopRacingTheSignalReleasesTheWaitAndCallsNothing) {
  if (IsRunningUnderWine()) {
    GTEST_SKIP() << "Wine gap: UnregisterWaitEx racing the callback of a "
                    "one-shot wait can crash inside Wine's thread pool";
  }
  MessageLoop loop;
  int calls = 0;
  CallbackDelegate delegate([&](HANDLE) { ++calls; });
  // The signal lands before, during or after the stop: the stop releases
  // the wait whichever it is, and a signal already posted does nothing.
  for (int i = 0; i < 1000; ++i) {
    Event event;
    ObjectWatcher watcher;
    ASSERT_TRUE(watcher.StartWatchingOnce(event.get(), &delegate));
    event.Signal();
    EXPECT_TRUE(watcher.StopWatching());
    EXPECT_FALSE(watcher.IsWatching());
  }
  Settle();
  EXPECT_EQ(0, calls);
}

// Unregisters for real, then answers as the system may when the callback
// was under way: pending, though the wait is released. Later calls, on a
// released wait, only count.
int g_unregister_calls = 0;
BOOL WINAPI UnregisterReportingPending(HANDLE wait, HANDLE completion) {
  if (++g_unregister_calls > 1)
    return TRUE;
  ::UnregisterWaitEx(wait, completion);
  ::SetLastError(ERROR_IO_PENDING);
  return FALSE;
}

TEST(ObjectWatcherTest, WaitReportedPendingIsReleasedOnce) {
  MessageLoop loop;
  Event event;
  CallbackDelegate delegate([](HANDLE) {});
  g_unregister_calls = 0;
  ObjectWatcher::UnregisterWaitFunction previous =
      ObjectWatcher::SetUnregisterWaitForTesting(&UnregisterReportingPending);
  {
    ObjectWatcher watcher;
    ASSERT_TRUE(watcher.StartWatchingOnce(event.get(), &delegate));
    EXPECT_TRUE(watcher.StopWatching());
    EXPECT_FALSE(watcher.IsWatching());
  }
  ObjectWatcher::SetUnregisterWaitForTesting(previous);
  EXPECT_EQ(1, g_unregister_calls);
}

TEST(ObjectWatcherTest, DelegateMayStopAnotherWatchOrStartANewOne) {
  MessageLoop loop;
  Event first, second, third;
  ObjectWatcher first_watcher, second_watcher;
  RunLoop run_loop;
  int second_calls = 0;
  int restarted_calls = 0;
  CallbackDelegate restarted([&](HANDLE object) {
    ++restarted_calls;
    EXPECT_EQ(third.get(), object);
    run_loop.Quit();
  });
  CallbackDelegate second_delegate([&](HANDLE) { ++second_calls; });
  CallbackDelegate first_delegate([&](HANDLE) {
    EXPECT_TRUE(second_watcher.StopWatching());
    // The same watcher takes a new watch from inside its callback.
    EXPECT_TRUE(first_watcher.StartWatchingOnce(third.get(), &restarted));
    third.Signal();
  });
  ASSERT_TRUE(first_watcher.StartWatchingOnce(first.get(), &first_delegate));
  ASSERT_TRUE(second_watcher.StartWatchingOnce(second.get(), &second_delegate));
  first.Signal();
  RunUntilQuit(&run_loop);
  second.Signal();
  Settle();
  EXPECT_EQ(1, restarted_calls);
  EXPECT_EQ(0, second_calls);
}

TEST(ObjectWatcherTest, DelegateMayDestroyTheWatcher) {
  MessageLoop loop;
  Event event;
  RunLoop run_loop;
  auto watcher = std::make_unique<ObjectWatcher>();
  CallbackDelegate delegate([&](HANDLE) {
    watcher.reset();
    run_loop.Quit();
  });
  ASSERT_TRUE(watcher->StartWatchingOnce(event.get(), &delegate));
  event.Signal();
  RunUntilQuit(&run_loop);
  EXPECT_FALSE(watcher);
}

TEST(ObjectWatcherTest, DestroyingTheLoopStopsTheWatch) {
  Event event;
  int calls = 0;
  CallbackDelegate delegate([&](HANDLE) { ++calls; });
  ObjectWatcher watcher;
  {
    MessageLoop loop;
    ASSERT_TRUE(watcher.StartWatchingOnce(event.get(), &delegate));
  }
  EXPECT_FALSE(watcher.IsWatching());
  event.Signal();
  ::Sleep(20);
  EXPECT_EQ(0, calls);
}

TEST(ObjectWatcherTest, RefusesWithoutALoop) {
  Event event;
  CallbackDelegate delegate([](HANDLE) {});
  ObjectWatcher watcher;
  EXPECT_FALSE(watcher.StartWatchingOnce(event.get(), &delegate));
  EXPECT_FALSE(watcher.IsWatching());
}

TEST(ObjectWatcherDeathTest, NullDelegateEndsTheProcess) {
  MessageLoop loop;
  Event event;
  ObjectWatcher watcher;
  EXPECT_TRAP_DEATH(watcher.StartWatchingOnce(event.get(), nullptr));
}

}  // namespace
}  // namespace win
}  // namespace base
