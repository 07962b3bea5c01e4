#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_

#include "base/time/time.h"

namespace base {

class RunLoop;

namespace tracked_objects {
class TaskStopwatch;
}

// The waiting half of a message loop: it calls its delegate's work functions
// in a fixed order and sleeps when none of them has anything to do.
class MessagePump {
 public:
  class Delegate {
   public:
    // Where the delegate stood before a call that an exception may unwind
    // (the UI pump's window procedure hands exceptions to a filter that may
    // choose to go on). Read and written by the delegate only.
    struct ResumePoint {
      RunLoop* run_loop = nullptr;
      tracked_objects::TaskStopwatch* stopwatch = nullptr;
      bool task_running = false;
    };

    virtual ~Delegate() = default;

    // Runs one immediate task; true when one ran.
    virtual bool DoWork() = 0;
    // Runs one due delayed task; true when one ran. |next_delayed_work_time|
    // receives the run time of the next delayed task (null for none).
    virtual bool DoDelayedWork(TimeTicks* next_delayed_work_time) = 0;
    // Called before the pump sleeps; true when it found something to do.
    virtual bool DoIdleWork() = 0;

    virtual ResumePoint SaveResumePoint() const { return ResumePoint(); }
    // An exception unwound everything run since |point| was saved: closes
    // the task and the runs it left open, so that work runs again.
    virtual void ResumeAt(const ResumePoint& point) {}
    // A wake-up the pump sent for itself could not go out: the next task
    // posted must send one.
    virtual void OnWakeUpLost() {}
  };

  MessagePump() = default;
  virtual ~MessagePump() = default;

  // Runs until Quit is called. Runs may nest.
  virtual void Run(Delegate* delegate) = 0;
  // Ends the innermost Run; only called from inside Run.
  virtual void Quit() = 0;
  // Wakes the pump for immediate work. Any thread. False when the wake-up
  // could not be sent (none is in flight).
  virtual bool ScheduleWork() = 0;
  // Asks for a DoDelayedWork call at |delayed_work_time|. The pump's thread.
  virtual void ScheduleDelayedWork(const TimeTicks& delayed_work_time) = 0;
  // Timer slack is not used by any pump here.
  virtual void SetTimerSlack(uint32_t timer_slack) {}

  MessagePump(const MessagePump&) = delete;
  MessagePump& operator=(const MessagePump&) = delete;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_
