#include "base/threading/platform_thread.h"

#include <windows.h>

#include "base/debug/activity_tracker.h"
#include "base/debug/binary_instrumentation.h"
#include "base/synchronization/wait_milliseconds.h"
#include "base/threading/platform_thread_internal_win.h"
#include "base/threading/thread_id_name_manager.h"
#include "base/tracked_objects.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

// Owned by the creating call until the thread exists, then by the thread.
struct ThreadStartRecord {
  PlatformThread::Delegate* delegate;
  bool joinable;
  ThreadPriority priority;
};

int ToSystemPriority(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::LOW:
      return THREAD_PRIORITY_LOWEST;
    case ThreadPriority::ABOVE_NORMAL:
      return THREAD_PRIORITY_ABOVE_NORMAL;
    case ThreadPriority::TIME_CRITICAL:
      return THREAD_PRIORITY_TIME_CRITICAL;
    case ThreadPriority::NORMAL:
      return THREAD_PRIORITY_NORMAL;
  }
  // The system rejects this value, so an unknown priority changes nothing.
  return 0x7FFFFFFF;
}

DWORD WINAPI ThreadFunc(void* param) {
  ThreadStartRecord* record = static_cast<ThreadStartRecord*>(param);
  PlatformThread::Delegate* delegate = record->delegate;
  if (record->priority != ThreadPriority::NORMAL)
    SetThreadPriority(GetCurrentThread(), ToSystemPriority(record->priority));

  // A real handle, so that the name table can tell this thread from a later
  // one that reuses its id; owned so that the handle verifier tracks it.
  HANDLE duplicate = nullptr;
  const bool registered =
      DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &duplicate,
                      0, FALSE, DUPLICATE_SAME_ACCESS) != 0;
  win::ScopedHandle self(registered ? duplicate : nullptr);
  if (registered)
    ThreadIdNameManager::GetInstance()->RegisterThread(self.Get(), PlatformThread::CurrentId());

  delete record;
  delegate->ThreadMain();

  if (registered)
    ThreadIdNameManager::GetInstance()->RemoveName(self.Get(), PlatformThread::CurrentId());
  return 0;
}

bool CreateThreadInternal(size_t stack_size,
                          PlatformThread::Delegate* delegate,
                          PlatformThreadHandle* out_handle,
                          ThreadPriority priority) {
  const DWORD flags = stack_size ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
  ThreadStartRecord* record = new ThreadStartRecord{delegate, out_handle != nullptr, priority};
  HANDLE thread = CreateThread(nullptr, stack_size, ThreadFunc, record, flags, nullptr);
  if (!thread) {
    delete record;
    return false;
  }
  if (out_handle)
    *out_handle = thread;
  else
    CloseHandle(thread);
  return true;
}

// Lets the naming exception continue when no debugger took it. A vectored
// handler, because GCC has no structured exception handling keywords.
LONG CALLBACK ContinueAfterThreadNameException(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode == internal::kThreadNameExceptionCode)
    return EXCEPTION_CONTINUE_EXECUTION;
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

namespace internal {

void RaiseThreadNameException(const char* name, PlatformThreadId thread_id) {
  static const bool handler_installed =
      AddVectoredExceptionHandler(0, ContinueAfterThreadNameException) != nullptr;
  if (!handler_installed)
    return;
  ThreadNameInfo info = {};
  info.type = 0x1000;
  info.name = name;
  info.thread_id = thread_id;
  info.flags = 0;
  // The arguments are pointer-sized: on x86-64 the record is three of them,
  // and counting 32-bit words would make the system read past its end.
  RaiseException(kThreadNameExceptionCode, 0, sizeof(info) / sizeof(ULONG_PTR),
                 reinterpret_cast<const ULONG_PTR*>(&info));
}

}  // namespace internal

PlatformThreadId PlatformThread::CurrentId() {
  return GetCurrentThreadId();
}

bool PlatformThread::CreateWithPriority(size_t stack_size,
                                        Delegate* delegate,
                                        PlatformThreadHandle* thread_handle,
                                        ThreadPriority priority) {
  return CreateThreadInternal(stack_size, delegate, thread_handle, priority);
}

bool PlatformThread::CreateNonJoinableWithPriority(size_t stack_size,
                                                   Delegate* delegate,
                                                   ThreadPriority priority) {
  return CreateThreadInternal(stack_size, delegate, nullptr, priority);
}

void PlatformThread::Join(PlatformThreadHandle thread_handle) {
  debug::ScopedThreadJoinActivity activity(thread_handle);
  // A join that cannot wait would leave the thread's resources in use
  // behind the caller's back.
  if (WaitForSingleObject(thread_handle, INFINITE) != WAIT_OBJECT_0)
    __builtin_trap();
  CloseHandle(thread_handle);
}

void PlatformThread::Sleep(TimeDelta duration) {
  TimeTicks now = TimeTicks::Now();
  const TimeTicks end = now + duration;
  while (now < end) {
    ::Sleep(internal::SleepMillisecondsFor(end - now));
    now = TimeTicks::Now();
  }
}

void PlatformThread::YieldCurrentThread() {
  ::Sleep(0);
}

void PlatformThread::SetName(const std::string& name) {
  ThreadIdNameManager::GetInstance()->SetName(CurrentId(), name);
  // The broker's event thread is named but never profiled.
  if (name != "BrokerEvent")
    tracked_objects::ThreadData::InitializeThreadContext(name);
  if (IsDebuggerPresent() || debug::IsBinaryInstrumented())
    internal::RaiseThreadNameException(name.c_str(), CurrentId());
}

const char* PlatformThread::GetName() {
  return ThreadIdNameManager::GetInstance()->GetName(CurrentId());
}

}  // namespace base
