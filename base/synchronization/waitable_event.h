#ifndef BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_
#define BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_

#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

// A kernel event. Failing to create one stops the process: nothing that
// waits on an event could go on without it.
class WaitableEvent {
 public:
  enum class ResetPolicy { MANUAL = 0, AUTOMATIC = 1 };
  enum class InitialState { SIGNALED = 0, NOT_SIGNALED = 1 };

  WaitableEvent(ResetPolicy reset_policy, InitialState initial_state);
  ~WaitableEvent();
  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;

  void Signal();
  void Reset();
  void Wait();
  // True only when the event was signalled within the delay. Negative
  // delays do not wait; Max waits without limit.
  bool TimedWait(TimeDelta max_time);
  // Polls without waiting; an automatic event is reset by a true answer.
  bool IsSignaled() { return TimedWait(TimeDelta()); }

  // For waits on several objects.
  HANDLE handle() const { return handle_.Get(); }

 private:
  win::ScopedHandle handle_;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_
