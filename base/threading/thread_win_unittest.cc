#include "base/threading/thread.h"

#include <objbase.h>
#include <windows.h>

#include <limits>
#include <vector>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/threading/simple_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Far beyond any address space: the system refuses to create the thread.
constexpr size_t kImpossibleStackSize = std::numeric_limits<size_t>::max() / 2;

TEST(ThreadTest, StopWithoutStartReturnsAtOnce) {
  Thread thread("never started");
  thread.Stop();
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_FALSE(thread.task_runner());
}

TEST(ThreadTest, TasksPostedBeforeStopRun) {
  std::vector<int> ran;
  PlatformThreadId task_thread = 0;
  {
    Thread thread("worker");
    ASSERT_TRUE(thread.Start());
    // Posting works at once, before the thread runs its loop.
    for (int i = 0; i < 20; ++i) {
      thread.task_runner()->PostTask(FROM_HERE, Bind([&ran, &task_thread, i] {
        ran.push_back(i);
        task_thread = PlatformThread::CurrentId();
        // Slow tasks: the quit must still wait for every queued one.
        PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
      }));
    }
    EXPECT_NE(PlatformThread::CurrentId(), thread.GetThreadId());
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.GetThreadId(), task_thread);
    // Restartable after a stop.
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.task_runner()->PostTask(FROM_HERE, Bind([] {})));
  }  // The destructor stops it.
  ASSERT_EQ(20u, ran.size());
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(i, ran[i]);
}

TEST(ThreadTest, SingleThreadedApartmentThreadRunsUILoop) {
  Thread thread("sta");
  thread.set_com_status(Thread::COM_STA);
  ASSERT_TRUE(thread.Start());
  bool is_ui = false;
  HRESULT second_init = S_OK;
  std::string name;
  WaitableEvent done(WaitableEvent::ResetPolicy::MANUAL,
                     WaitableEvent::InitialState::NOT_SIGNALED);
  thread.task_runner()->PostTask(FROM_HERE, Bind([&] {
    is_ui = MessageLoop::current()->IsType(MessageLoop::TYPE_UI);
    // Asking for the other apartment fails when one is set up already.
    second_init = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(second_init))
      ::CoUninitialize();
    name = PlatformThread::GetName();
    done.Signal();
  }));
  done.Wait();
  thread.Stop();
  EXPECT_TRUE(is_ui);
  EXPECT_EQ(RPC_E_CHANGED_MODE, second_init);
  EXPECT_EQ("sta", name);
}

TEST(ThreadTest, FailedCreationLeavesNoLoop) {
  Thread thread("too big");
  Thread::Options options;
  options.stack_size = kImpossibleStackSize;
  EXPECT_FALSE(thread.StartWithOptions(options));
  EXPECT_FALSE(thread.task_runner());
  thread.Stop();
}

class RecordingThread : public SimpleThread {
 public:
  explicit RecordingThread(const std::string& prefix,
                           const Options& options = Options())
      : SimpleThread(prefix, options) {}
  void Run() override {
    seen_name_ = PlatformThread::GetName();
    seen_id_ = PlatformThread::CurrentId();
  }
  std::string seen_name_;
  PlatformThreadId seen_id_ = 0;
};

TEST(SimpleThreadTest, IsNamedByPrefixAndThreadId) {
  RecordingThread thread("Prefix");
  ASSERT_TRUE(thread.Start());
  // Start returns only once the thread runs, so the id is known.
  EXPECT_NE(0u, thread.tid());
  thread.Join();
  EXPECT_EQ(thread.tid(), thread.seen_id_);
  EXPECT_EQ("Prefix/" + std::to_string(thread.tid()), thread.seen_name_);
  EXPECT_EQ(thread.seen_name_, thread.name());
  EXPECT_TRUE(thread.HasBeenJoined());
}

TEST(SimpleThreadTest, StartFailsWhenTheThreadCannotBeCreated) {
  SimpleThread::Options options;
  options.stack_size = kImpossibleStackSize;
  RecordingThread thread("Huge", options);
  EXPECT_FALSE(thread.Start());
  EXPECT_FALSE(thread.HasBeenStarted());
  EXPECT_EQ(0u, thread.seen_id_);
}

}  // namespace
}  // namespace base
