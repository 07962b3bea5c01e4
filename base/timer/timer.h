#ifndef BASE_TIMER_TIMER_H_
#define BASE_TIMER_TIMER_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"
#include "base/time/time.h"

namespace base {

class BaseTimerTaskInternal;

// Runs a task once or repeatedly after a delay on a task runner. Re-arming
// to a later time keeps the posted task and reposts for the rest of the
// time when it runs. Used on one thread.
class Timer {
 public:
  // |retain_user_task|: keep the task when stopped, so that Reset can
  // re-arm the timer.
  Timer(bool retain_user_task, bool is_repeating);
  Timer(const Location& posted_from,
        TimeDelta delay,
        Closure user_task,
        bool is_repeating);
  virtual ~Timer();

  virtual bool IsRunning() const;
  virtual TimeDelta GetCurrentDelay() const;

  // Where to post; by default the posting thread's runner.
  virtual void SetTaskRunner(scoped_refptr<SingleThreadTaskRunner> task_runner);

  virtual void Start(const Location& posted_from,
                     TimeDelta delay,
                     Closure user_task);
  virtual void Stop();
  // Re-arms the timer for its delay from now.
  virtual void Reset();

  const Closure& user_task() const { return user_task_; }
  const TimeTicks& desired_run_time() const { return desired_run_time_; }

 protected:
  void set_user_task(Closure task) { user_task_ = std::move(task); }

 private:
  friend class BaseTimerTaskInternal;

  void PostNewScheduledTask(TimeDelta delay);
  scoped_refptr<SingleThreadTaskRunner> GetTaskRunner();
  // Forgets the posted task, which then does nothing when it runs.
  void AbandonScheduledTask();
  void AbandonAndStop();
  void RunScheduledTask();

  BaseTimerTaskInternal* scheduled_task_ = nullptr;
  scoped_refptr<SingleThreadTaskRunner> task_runner_;
  Location posted_from_;
  TimeDelta delay_;
  Closure user_task_;
  TimeTicks scheduled_run_time_;
  TimeTicks desired_run_time_;
  const bool is_repeating_;
  const bool retain_user_task_;
  bool is_running_ = false;

  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
};

// A timer that runs its task once and then forgets it.
class OneShotTimer : public Timer {
 public:
  OneShotTimer() : Timer(false, false) {}
};

// A timer that runs its task every delay until stopped.
class RepeatingTimer : public Timer {
 public:
  RepeatingTimer() : Timer(true, true) {}
};

// A one-shot timer that keeps its task, so that Reset re-arms it.
class DelayTimer : public Timer {
 public:
  DelayTimer(const Location& posted_from, TimeDelta delay, Closure user_task)
      : Timer(posted_from, delay, std::move(user_task), false) {}
};

}  // namespace base

#endif  // BASE_TIMER_TIMER_H_
