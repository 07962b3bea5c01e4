#include "base/threading/platform_thread.h"

#include <windows.h>

#include <string>

#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread_internal_win.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class RecordingDelegate : public PlatformThread::Delegate {
 public:
  void ThreadMain() override {
    id = PlatformThread::CurrentId();
    priority = GetThreadPriority(GetCurrentThread());
    name_before = PlatformThread::GetName();
    PlatformThread::SetName("Recording worker");
    name_after = PlatformThread::GetName();
    done.Signal();
  }

  PlatformThreadId id = 0;
  int priority = 0;
  std::string name_before;
  std::string name_after;
  WaitableEvent done{WaitableEvent::ResetPolicy::MANUAL, WaitableEvent::InitialState::NOT_SIGNALED};
};

TEST(PlatformThreadTest, JoinableThreadRunsItsDelegateAndIsNamed) {
  RecordingDelegate delegate;
  PlatformThreadHandle handle = nullptr;
  ASSERT_TRUE(PlatformThread::Create(0, &delegate, &handle));
  ASSERT_NE(nullptr, handle);
  PlatformThread::Join(handle);
  EXPECT_NE(0u, delegate.id);
  EXPECT_NE(PlatformThread::CurrentId(), delegate.id);
  EXPECT_EQ("", delegate.name_before);
  EXPECT_EQ("Recording worker", delegate.name_after);
  EXPECT_EQ(THREAD_PRIORITY_NORMAL, delegate.priority);
}

TEST(PlatformThreadTest, NonJoinableThreadWithPriorityAndStackSize) {
  RecordingDelegate delegate;
  ASSERT_TRUE(PlatformThread::CreateNonJoinableWithPriority(256 * 1024, &delegate,
                                                            ThreadPriority::LOW));
  delegate.done.Wait();
  EXPECT_EQ(THREAD_PRIORITY_LOWEST, delegate.priority);

  RecordingDelegate urgent;
  PlatformThreadHandle handle = nullptr;
  ASSERT_TRUE(PlatformThread::CreateWithPriority(0, &urgent, &handle,
                                                 ThreadPriority::ABOVE_NORMAL));
  PlatformThread::Join(handle);
  EXPECT_EQ(THREAD_PRIORITY_ABOVE_NORMAL, urgent.priority);
}

TEST(PlatformThreadTest, SleepHonoursShortAndNegativeDelays) {
  const TimeTicks start = TimeTicks::Now();
  PlatformThread::Sleep(TimeDelta::FromMicroseconds(1));
  EXPECT_GE(TimeTicks::Now() - start, TimeDelta::FromMicroseconds(1));
  // Returns at once rather than sleeping for 49 days.
  PlatformThread::Sleep(TimeDelta::FromMilliseconds(-5));
  PlatformThread::Sleep(TimeDelta());
}

struct SeenNameException {
  DWORD parameters = 0;
  ULONG_PTR type = 0;
  ULONG_PTR name = 0;
  ULONG_PTR thread_id = 0;
  int count = 0;
};
SeenNameException g_seen;

LONG CALLBACK RecordNameException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != internal::kThreadNameExceptionCode)
    return EXCEPTION_CONTINUE_SEARCH;
  ++g_seen.count;
  g_seen.parameters = record->NumberParameters;
  if (record->NumberParameters >= 3) {
    g_seen.type = record->ExceptionInformation[0];
    g_seen.name = record->ExceptionInformation[1];
    g_seen.thread_id = record->ExceptionInformation[2] & 0xFFFFFFFF;
  }
  // Leave the exception to the handler that lets the thread go on.
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(PlatformThreadTest, NamingExceptionCarriesPointerSizedArguments) {
  const char* name = "Debugger-visible name";
  // Installed by the first raise; ours must run first to see the record.
  internal::RaiseThreadNameException("warm-up", PlatformThread::CurrentId());
  void* handler = AddVectoredExceptionHandler(1, RecordNameException);
  ASSERT_NE(nullptr, handler);
  internal::RaiseThreadNameException(name, PlatformThread::CurrentId());
  RemoveVectoredExceptionHandler(handler);

  EXPECT_EQ(1, g_seen.count);
  EXPECT_EQ(3u, g_seen.parameters);
  EXPECT_EQ(0x1000u, g_seen.type & 0xFFFFFFFF);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(name), g_seen.name);
  EXPECT_EQ(PlatformThread::CurrentId(), g_seen.thread_id);
}

}  // namespace
}  // namespace base
