#ifndef BASE_TEST_MANUAL_TASK_RUNNER_TESTSUPPORT_H_
#define BASE_TEST_MANUAL_TASK_RUNNER_TESTSUPPORT_H_

#include <stdint.h>

#include <utility>
#include <vector>

#include "base/single_thread_task_runner.h"
#include "base/time/time.h"

namespace base {

// Header-only, so that only the tests that use it link the task runner
// machinery (which the host build does not have).
//
// A runner on the test's own thread with a clock of its own: posted tasks
// wait until the test advances that clock, so delays of seconds are tested
// without waiting. It can also refuse every post, or say that it runs its
// tasks elsewhere.
class ManualTaskRunner : public SingleThreadTaskRunner {
 public:
  ManualTaskRunner() {}

  bool PostDelayedTask(const Location& from_here,
                       Closure task,
                       TimeDelta delay) override {
    if (refuse_posts_)
      return false;
    ++posts_;
    tasks_.push_back(
        PendingTask{now_ + delay, next_sequence_++, std::move(task)});
    return true;
  }
  bool PostNonNestableDelayedTask(const Location& from_here,
                                  Closure task,
                                  TimeDelta delay) override {
    return PostDelayedTask(from_here, std::move(task), delay);
  }
  bool RunsTasksOnCurrentThread() const override { return runs_tasks_here_; }
  bool MayRunTasksOnCurrentThread() const override {
    return runs_tasks_here_ || may_run_tasks_here_;
  }

  // Advances the clock by |delta|, running every task that comes due, in
  // run-time order, at its own time.
  void FastForwardBy(TimeDelta delta) {
    const TimeDelta end = now_ + delta;
    PendingTask next;
    while (TakeNextDue(end, &next)) {
      if (next.run_time > now_)
        now_ = next.run_time;
      next.task.Run();
    }
    now_ = end;
  }
  // Runs the tasks that are due now, including ones they post without delay.
  void RunUntilIdle() { FastForwardBy(TimeDelta()); }

  size_t pending_count() const { return tasks_.size(); }
  // Time since creation on this runner's clock.
  TimeDelta now() const { return now_; }
  void set_refuse_posts(bool refuse) { refuse_posts_ = refuse; }
  void set_runs_tasks_here(bool here) { runs_tasks_here_ = here; }
  // As a pool's runner on a worker of that pool.
  void set_may_run_tasks_here(bool may) { may_run_tasks_here_ = may; }
  // Lets every pending task go unrun.
  void DropPending() { tasks_.clear(); }
  int posts() const { return posts_; }

 private:
  struct PendingTask {
    TimeDelta run_time;
    uint64_t sequence;
    Closure task;
  };

  ~ManualTaskRunner() override {}

  // Takes out the earliest task due by |limit|; false when none is.
  bool TakeNextDue(TimeDelta limit, PendingTask* out) {
    size_t best = tasks_.size();
    for (size_t i = 0; i < tasks_.size(); ++i) {
      if (tasks_[i].run_time > limit)
        continue;
      if (best == tasks_.size() ||
          tasks_[i].run_time < tasks_[best].run_time ||
          (tasks_[i].run_time == tasks_[best].run_time &&
           tasks_[i].sequence < tasks_[best].sequence)) {
        best = i;
      }
    }
    if (best == tasks_.size())
      return false;
    *out = std::move(tasks_[best]);
    tasks_.erase(tasks_.begin() + best);
    return true;
  }

  std::vector<PendingTask> tasks_;
  TimeDelta now_;
  uint64_t next_sequence_ = 0;
  bool refuse_posts_ = false;
  bool runs_tasks_here_ = true;
  bool may_run_tasks_here_ = false;
  int posts_ = 0;
};

}  // namespace base

#endif  // BASE_TEST_MANUAL_TASK_RUNNER_TESTSUPPORT_H_
