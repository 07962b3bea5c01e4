#include "base/message_loop/message_pump_default.h"

#include <algorithm>

namespace base {

MessagePumpDefault::MessagePumpDefault()
    : event_(WaitableEvent::ResetPolicy::AUTOMATIC,
             WaitableEvent::InitialState::NOT_SIGNALED) {}

MessagePumpDefault::~MessagePumpDefault() = default;

void MessagePumpDefault::Run(Delegate* delegate) {
  bool did_work = delegate->DoWork();
  while (keep_running_) {
    did_work |= delegate->DoDelayedWork(&delayed_work_time_);
    if (!keep_running_)
      break;
    if (!did_work) {
      bool idle_work = delegate->DoIdleWork();
      if (!keep_running_)
        break;
      if (!idle_work)
        WaitForWork();
    }
    did_work = delegate->DoWork();
  }
  // Ready to run again.
  keep_running_ = true;
}

void MessagePumpDefault::WaitForWork() {
  if (delayed_work_time_.is_null()) {
    event_.Wait();
    return;
  }
  TimeDelta delay = delayed_work_time_ - TimeTicks::Now();
  if (delay <= TimeDelta()) {
    delayed_work_time_ = TimeTicks();
    return;
  }
  while (delay > TimeDelta()) {
    if (event_.TimedWait(std::max(delay, TimeDelta::FromMilliseconds(1))))
      return;
    delay = delayed_work_time_ - TimeTicks::Now();
  }
}

void MessagePumpDefault::Quit() {
  keep_running_ = false;
}

bool MessagePumpDefault::ScheduleWork() {
  event_.Signal();
  return true;
}

void MessagePumpDefault::ScheduleDelayedWork(
    const TimeTicks& delayed_work_time) {
  delayed_work_time_ = delayed_work_time;
}

}  // namespace base
