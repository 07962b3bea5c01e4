#include "base/threading/no_op_task_runner.h"

namespace base {

NoOpTaskRunner::NoOpTaskRunner() = default;

NoOpTaskRunner::~NoOpTaskRunner() = default;

bool NoOpTaskRunner::PostDelayedTask(const Location& from_here,
                                     Closure task,
                                     TimeDelta delay) {
  return false;
}

bool NoOpTaskRunner::PostNonNestableDelayedTask(const Location& from_here,
                                                Closure task,
                                                TimeDelta delay) {
  return false;
}

bool NoOpTaskRunner::RunsTasksOnCurrentThread() const {
  return false;
}

}  // namespace base
