#include "base/synchronization/condition_variable.h"

#include <windows.h>

#include "base/synchronization/wait_milliseconds.h"

namespace base {

static_assert(sizeof(CONDITION_VARIABLE) == sizeof(void*), "CONDITION_VARIABLE is one pointer");

namespace {

CONDITION_VARIABLE* AsCv(void** storage) {
  return reinterpret_cast<CONDITION_VARIABLE*>(storage);
}

}  // namespace

void ConditionVariable::Wait() {
  TimedWait(TimeDelta::Max());
}

void ConditionVariable::TimedWait(TimeDelta max_time) {
  SleepConditionVariableSRW(AsCv(&cv_), static_cast<SRWLOCK*>(srw_lock_),
                            internal::WaitMillisecondsFor(max_time), 0);
}

void ConditionVariable::Signal() {
  WakeConditionVariable(AsCv(&cv_));
}

void ConditionVariable::Broadcast() {
  WakeAllConditionVariable(AsCv(&cv_));
}

}  // namespace base
