#ifndef BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_
#define BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_

#include "base/synchronization/lock.h"
#include "base/time/time.h"

namespace base {

// A condition variable bound to one Lock, which the caller holds around
// Wait and TimedWait. Wake-ups may be spurious: callers re-test their
// condition.
class ConditionVariable {
 public:
  explicit ConditionVariable(Lock* user_lock) : srw_lock_(user_lock->lock_.native_handle()) {}
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  void Wait();
  // Negative delays do not wait; Max waits without limit.
  void TimedWait(TimeDelta max_time);
  void Signal();
  void Broadcast();

 private:
  // Storage of a CONDITION_VARIABLE (one pointer).
  void* cv_ = nullptr;
  void* const srw_lock_;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_CONDITION_VARIABLE_H_
