#include "base/threading/sequenced_task_runner_handle.h"

#include "base/threading/sequenced_worker_pool.h"
#include "base/threading/thread_task_runner_handle.h"

namespace base {

// static
scoped_refptr<SequencedTaskRunner> SequencedTaskRunnerHandle::Get() {
  scoped_refptr<SequencedWorkerPool> pool =
      SequencedWorkerPool::GetWorkerPoolForCurrentThread();
  if (pool) {
    return pool->GetSequencedTaskRunnerWithShutdownBehavior(
        SequencedWorkerPool::GetSequenceTokenForCurrentThread(),
        SequencedWorkerPool::BLOCK_SHUTDOWN);
  }
  return ThreadTaskRunnerHandle::Get();
}

}  // namespace base
