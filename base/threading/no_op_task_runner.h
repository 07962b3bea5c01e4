#ifndef BASE_THREADING_NO_OP_TASK_RUNNER_H_
#define BASE_THREADING_NO_OP_TASK_RUNNER_H_

#include "base/sequenced_task_runner.h"

namespace base {

// A sequenced runner that refuses every task.
class NoOpTaskRunner : public SequencedTaskRunner {
 public:
  NoOpTaskRunner();

  bool PostDelayedTask(const Location& from_here,
                       Closure task,
                       TimeDelta delay) override;
  bool PostNonNestableDelayedTask(const Location& from_here,
                                  Closure task,
                                  TimeDelta delay) override;
  bool RunsTasksOnCurrentThread() const override;

 private:
  ~NoOpTaskRunner() override;
};

}  // namespace base

#endif  // BASE_THREADING_NO_OP_TASK_RUNNER_H_
