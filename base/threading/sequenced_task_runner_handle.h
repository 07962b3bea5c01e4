#ifndef BASE_THREADING_SEQUENCED_TASK_RUNNER_HANDLE_H_
#define BASE_THREADING_SEQUENCED_TASK_RUNNER_HANDLE_H_

#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"

namespace base {

class SequencedTaskRunnerHandle {
 public:
  // A runner for the calling sequence: on a worker of a sequenced worker
  // pool, one for the sequence of the task it runs; elsewhere the thread's
  // own runner.
  static scoped_refptr<SequencedTaskRunner> Get();

  SequencedTaskRunnerHandle() = delete;
};

}  // namespace base

#endif  // BASE_THREADING_SEQUENCED_TASK_RUNNER_HANDLE_H_
