#include "base/timer/timer.h"

#include <utility>

#include "base/bind.h"
#include "base/threading/thread_task_runner_handle.h"

namespace base {

// The posted half of a timer. Owned by the posted closure; abandoned (timer
// pointer cleared) when the timer no longer wants it to run.
class BaseTimerTaskInternal {
 public:
  explicit BaseTimerTaskInternal(Timer* timer) : timer_(timer) {}

  ~BaseTimerTaskInternal() {
    // Deleted unrun by its loop while still wanted: the timer stops.
    if (timer_)
      timer_->AbandonAndStop();
  }

  void Run() {
    if (!timer_)
      return;
    timer_->scheduled_task_ = nullptr;
    Timer* timer = timer_;
    timer_ = nullptr;
    timer->RunScheduledTask();
  }

  void Abandon() { timer_ = nullptr; }

 private:
  Timer* timer_;

  BaseTimerTaskInternal(const BaseTimerTaskInternal&) = delete;
  BaseTimerTaskInternal& operator=(const BaseTimerTaskInternal&) = delete;
};

Timer::Timer(bool retain_user_task, bool is_repeating)
    : is_repeating_(is_repeating), retain_user_task_(retain_user_task) {}

Timer::Timer(const Location& posted_from,
             TimeDelta delay,
             Closure user_task,
             bool is_repeating)
    : posted_from_(posted_from),
      delay_(delay),
      user_task_(std::move(user_task)),
      is_repeating_(is_repeating),
      retain_user_task_(true) {}

Timer::~Timer() {
  AbandonAndStop();
  user_task_.Reset();
  task_runner_ = nullptr;
}

bool Timer::IsRunning() const {
  return is_running_;
}

TimeDelta Timer::GetCurrentDelay() const {
  return delay_;
}

void Timer::SetTaskRunner(scoped_refptr<SingleThreadTaskRunner> task_runner) {
  task_runner_ = std::move(task_runner);
}

void Timer::Start(const Location& posted_from,
                  TimeDelta delay,
                  Closure user_task) {
  posted_from_ = posted_from;
  delay_ = delay;
  user_task_ = std::move(user_task);
  Reset();
}

void Timer::Stop() {
  is_running_ = false;
  if (!retain_user_task_)
    user_task_.Reset();
}

void Timer::Reset() {
  if (!scheduled_task_) {
    PostNewScheduledTask(delay_);
    return;
  }
  desired_run_time_ =
      delay_ > TimeDelta() ? TimeTicks::Now() + delay_ : TimeTicks();
  // The posted task comes first and reposts for the rest of the time.
  if (desired_run_time_ >= scheduled_run_time_) {
    is_running_ = true;
    return;
  }
  AbandonScheduledTask();
  PostNewScheduledTask(delay_);
}

scoped_refptr<SingleThreadTaskRunner> Timer::GetTaskRunner() {
  return task_runner_ ? task_runner_ : ThreadTaskRunnerHandle::Get();
}

void Timer::PostNewScheduledTask(TimeDelta delay) {
  is_running_ = true;
  scheduled_task_ = new BaseTimerTaskInternal(this);
  Closure task = Bind(&BaseTimerTaskInternal::Run, Owned(scheduled_task_));
  if (delay > TimeDelta()) {
    GetTaskRunner()->PostDelayedTask(posted_from_, std::move(task), delay);
    scheduled_run_time_ = desired_run_time_ = TimeTicks::Now() + delay;
  } else {
    GetTaskRunner()->PostTask(posted_from_, std::move(task));
    scheduled_run_time_ = desired_run_time_ = TimeTicks();
  }
}

void Timer::AbandonScheduledTask() {
  if (scheduled_task_) {
    scheduled_task_->Abandon();
    scheduled_task_ = nullptr;
  }
}

void Timer::AbandonAndStop() {
  Stop();
  AbandonScheduledTask();
}

void Timer::RunScheduledTask() {
  // Stopped meanwhile.
  if (!is_running_)
    return;

  // Reset to a later time: wait for the rest.
  if (desired_run_time_ > scheduled_run_time_) {
    TimeTicks now = TimeTicks::Now();
    if (desired_run_time_ > now) {
      PostNewScheduledTask(desired_run_time_ - now);
      return;
    }
  }

  Closure task = user_task_;
  if (is_repeating_)
    PostNewScheduledTask(delay_);
  else
    Stop();

  // The task may destroy the timer: nothing of it is touched afterwards.
  task.Run();
}

}  // namespace base
