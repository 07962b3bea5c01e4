#ifndef BASE_TASK_RUNNER_H_
#define BASE_TASK_RUNNER_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/time/time.h"

namespace base {

struct TaskRunnerTraits;

// Something that runs posted closures somewhere. Reference counted; the last
// release goes through OnDestruct so that a runner can choose the thread on
// which it is deleted.
class TaskRunner : public RefCountedThreadSafe<TaskRunner, TaskRunnerTraits> {
 public:
  // Posts with no delay. False when the task will certainly not run; true
  // does not promise that it will.
  bool PostTask(const Location& from_here, Closure task);

  virtual bool PostDelayedTask(const Location& from_here,
                               Closure task,
                               TimeDelta delay) = 0;

  // True when a task posted now could run on the calling thread.
  virtual bool RunsTasksOnCurrentThread() const = 0;

  // True when this thread may be one that the runner's tasks need: its own
  // thread, or, for a pool's sequence, any worker of the pool. A wait here
  // for the runner's work might never end.
  virtual bool MayRunTasksOnCurrentThread() const {
    return RunsTasksOnCurrentThread();
  }

  // Runs |task| here and then |reply| on the calling thread's runner. Both
  // closures are released on the calling thread.
  bool PostTaskAndReply(const Location& from_here, Closure task, Closure reply);

 protected:
  friend struct TaskRunnerTraits;

  TaskRunner();
  virtual ~TaskRunner();

  // Called at the last release; deletes the runner.
  virtual void OnDestruct() const;
};

struct TaskRunnerTraits {
  static void Destruct(const TaskRunner* task_runner);
};

// Drops one reference to |task_runner|.
void ReleaseTaskRunner(TaskRunner* task_runner);

}  // namespace base

#endif  // BASE_TASK_RUNNER_H_
