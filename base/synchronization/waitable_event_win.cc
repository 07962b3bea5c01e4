#include "base/synchronization/waitable_event.h"

#include <windows.h>

#include "base/debug/activity_tracker.h"
#include "base/synchronization/wait_milliseconds.h"

namespace base {

WaitableEvent::WaitableEvent(ResetPolicy reset_policy, InitialState initial_state)
    : handle_(CreateEventW(nullptr, reset_policy == ResetPolicy::MANUAL,
                           initial_state == InitialState::SIGNALED, nullptr)) {
  if (!handle_ || handle_ == INVALID_HANDLE_VALUE)
    __builtin_trap();
}

WaitableEvent::~WaitableEvent() {
  CloseHandle(handle_);
}

void WaitableEvent::Signal() {
  SetEvent(handle_);
}

void WaitableEvent::Reset() {
  ResetEvent(handle_);
}

void WaitableEvent::Wait() {
  debug::ScopedEventWaitActivity activity(this);
  WaitForSingleObject(handle_, INFINITE);
}

bool WaitableEvent::TimedWait(TimeDelta max_time) {
  debug::ScopedEventWaitActivity activity(this);
  return WaitForSingleObject(handle_, internal::WaitMillisecondsFor(max_time)) == WAIT_OBJECT_0;
}

}  // namespace base
