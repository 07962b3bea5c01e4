#include "base/synchronization/waitable_event.h"

#include <windows.h>

#include "base/debug/activity_tracker.h"
#include "base/synchronization/wait_milliseconds.h"

namespace base {

WaitableEvent::WaitableEvent(ResetPolicy reset_policy, InitialState initial_state)
    : handle_(CreateEventW(nullptr, reset_policy == ResetPolicy::MANUAL,
                           initial_state == InitialState::SIGNALED, nullptr)) {
  if (!handle_.IsValid())
    __builtin_trap();
}

WaitableEvent::~WaitableEvent() = default;

void WaitableEvent::Signal() {
  SetEvent(handle_.Get());
}

void WaitableEvent::Reset() {
  ResetEvent(handle_.Get());
}

void WaitableEvent::Wait() {
  debug::ScopedEventWaitActivity activity(this);
  WaitForSingleObject(handle_.Get(), INFINITE);
}

bool WaitableEvent::TimedWait(TimeDelta max_time) {
  debug::ScopedEventWaitActivity activity(this);
  return WaitForSingleObject(handle_.Get(), internal::WaitMillisecondsFor(max_time)) == WAIT_OBJECT_0;
}

}  // namespace base
