#ifndef BASE_THREADING_SEQUENCED_WORKER_POOL_H_
#define BASE_THREADING_SEQUENCED_WORKER_POOL_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"
#include "base/single_thread_task_runner.h"
#include "base/task_runner.h"
#include "base/time/time.h"

namespace base {

// A task runner over a few worker threads made on demand. Tasks with the same
// sequence token run one at a time in posting order; tasks without one run
// in any order, in parallel. Each task says what Shutdown does with it.
class SequencedWorkerPool : public TaskRunner {
 public:
  enum WorkerShutdown {
    // Neither waited for nor dropped by Shutdown.
    CONTINUE_ON_SHUTDOWN = 0,
    // Dropped if not started when Shutdown begins; waited for once running.
    SKIP_ON_SHUTDOWN = 1,
    // Shutdown waits until it has run.
    BLOCK_SHUTDOWN = 2,
  };

  // Names a sequence; the default token belongs to none.
  class SequenceToken {
   public:
    SequenceToken() = default;
    explicit SequenceToken(uint32_t id) : id_(id) {}

    bool Equals(const SequenceToken& other) const { return id_ == other.id_; }
    bool IsValid() const { return id_ != 0; }
    uint32_t id() const { return id_; }

   private:
    uint32_t id_ = 0;
  };

  // On a worker thread: its pool and the token of the task it runs. Null and
  // an invalid token elsewhere.
  static scoped_refptr<SequencedWorkerPool> GetWorkerPoolForCurrentThread();
  static SequenceToken GetSequenceTokenForCurrentThread();

  // |priority| is kept for callers but not used.
  SequencedWorkerPool(size_t max_threads,
                      const std::string& thread_name_prefix,
                      int priority);

  // The same name gives the same token; names share one process-wide
  // counter.
  SequenceToken GetNamedSequenceToken(const std::string& name);

  scoped_refptr<SequencedTaskRunner> GetSequencedTaskRunnerWithShutdownBehavior(
      SequenceToken token,
      WorkerShutdown shutdown_behavior);

  // Without a sequence; SKIP_ON_SHUTDOWN when delayed, else BLOCK_SHUTDOWN.
  bool PostDelayedTask(const Location& from_here,
                       Closure task,
                       TimeDelta delay) override;
  bool RunsTasksOnCurrentThread() const override;

  // Posts within a sequence.
  bool PostSequencedTask(SequenceToken token,
                         WorkerShutdown shutdown_behavior,
                         const Location& from_here,
                         Closure task,
                         TimeDelta delay);

  // True on a worker of this pool running a task of |token|.
  bool IsRunningSequenceOnCurrentThread(SequenceToken token) const;

  // Drops pending tasks that need not run and waits for the blocking ones;
  // afterwards at most |max_new_blocking_tasks_after_shutdown| more
  // BLOCK_SHUTDOWN tasks are accepted. Call before dropping the last
  // reference.
  void Shutdown(int max_new_blocking_tasks_after_shutdown);

  // Workers started from now on reserve this much stack (0: the system's
  // default); an impossible size makes their creation fail.
  static void SetWorkerStackSizeForTesting(size_t stack_size);

 protected:
  ~SequencedWorkerPool() override;

  // Deleting joins the workers, so a last release on a worker deletes the
  // pool later on the creating thread.
  void OnDestruct() const override;

 private:
  class Inner;
  class Worker;

  static void DeletePool(const SequencedWorkerPool* pool);

  const scoped_refptr<SingleThreadTaskRunner> constructor_task_runner_;
  const std::unique_ptr<Inner> inner_;

  SequencedWorkerPool(const SequencedWorkerPool&) = delete;
  SequencedWorkerPool& operator=(const SequencedWorkerPool&) = delete;
};

}  // namespace base

#endif  // BASE_THREADING_SEQUENCED_WORKER_POOL_H_
