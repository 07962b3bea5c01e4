#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_

#include <stdint.h>

#include "base/memory/ref_counted.h"
#include "base/message_loop/incoming_task_queue.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"

namespace base {
namespace internal {

// The runner a message loop hands to posters. It outlives the loop safely:
// posts then answer false.
class MessageLoopTaskRunner : public SingleThreadTaskRunner {
 public:
  explicit MessageLoopTaskRunner(
      scoped_refptr<IncomingTaskQueue> incoming_queue);

  // Binds the runner to the calling thread.
  void BindToCurrentThread();

  bool PostDelayedTask(const Location& from_here,
                       Closure task,
                       TimeDelta delay) override;
  bool RunsTasksOnCurrentThread() const override;
  bool PostNonNestableDelayedTask(const Location& from_here,
                                  Closure task,
                                  TimeDelta delay) override;

 private:
  ~MessageLoopTaskRunner() override;

  scoped_refptr<IncomingTaskQueue> incoming_queue_;
  mutable Lock valid_thread_id_lock_;
  uint32_t valid_thread_id_ = 0;

  MessageLoopTaskRunner(const MessageLoopTaskRunner&) = delete;
  MessageLoopTaskRunner& operator=(const MessageLoopTaskRunner&) = delete;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_TASK_RUNNER_H_
