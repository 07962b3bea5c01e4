#include "desktop/windows/installer/service/installation.h"

namespace installer {

NoOpTaskRunner::NoOpTaskRunner() = default;

NoOpTaskRunner::~NoOpTaskRunner() = default;

bool NoOpTaskRunner::PostDelayedTask(const base::Location& from_here,
                                     base::Closure task,
                                     base::TimeDelta delay) {
  return false;
}

bool NoOpTaskRunner::PostNonNestableDelayedTask(const base::Location& from_here,
                                                base::Closure task,
                                                base::TimeDelta delay) {
  return false;
}

bool NoOpTaskRunner::RunsTasksOnCurrentThread() const {
  return false;
}

}  // namespace installer
