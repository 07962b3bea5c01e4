#ifndef BASE_THREADING_WORKER_POOL_H_
#define BASE_THREADING_WORKER_POOL_H_

#include "base/callback.h"
#include "base/location.h"

namespace base {

// The system's thread pool.
class WorkerPool {
 public:
  // |task_is_slow| lets the system add threads for long tasks. False when
  // the system refuses the work item; the task is then released here.
  static bool PostTask(const Location& from_here,
                       Closure task,
                       bool task_is_slow);

  // Runs |task| on the pool, then |reply| on the calling thread.
  static bool PostTaskAndReply(const Location& from_here,
                               Closure task,
                               Closure reply,
                               bool task_is_slow);

  // True on a pool thread while it runs one of our tasks.
  static bool RunsTasksOnCurrentThread();

  WorkerPool() = delete;
};

}  // namespace base

#endif  // BASE_THREADING_WORKER_POOL_H_
