#include "base/message_loop/message_loop_task_runner.h"

#include <utility>

#include "base/threading/platform_thread.h"

namespace base {
namespace internal {

MessageLoopTaskRunner::MessageLoopTaskRunner(
    scoped_refptr<IncomingTaskQueue> incoming_queue)
    : incoming_queue_(std::move(incoming_queue)) {}

MessageLoopTaskRunner::~MessageLoopTaskRunner() = default;

void MessageLoopTaskRunner::BindToCurrentThread() {
  AutoLock lock(valid_thread_id_lock_);
  valid_thread_id_ = PlatformThread::CurrentId();
}

bool MessageLoopTaskRunner::PostDelayedTask(const Location& from_here,
                                            Closure task,
                                            TimeDelta delay) {
  return incoming_queue_->AddToIncomingQueue(from_here, std::move(task), delay,
                                             true);
}

bool MessageLoopTaskRunner::PostNonNestableDelayedTask(
    const Location& from_here,
    Closure task,
    TimeDelta delay) {
  return incoming_queue_->AddToIncomingQueue(from_here, std::move(task), delay,
                                             false);
}

bool MessageLoopTaskRunner::RunsTasksOnCurrentThread() const {
  AutoLock lock(valid_thread_id_lock_);
  return valid_thread_id_ == PlatformThread::CurrentId();
}

}  // namespace internal
}  // namespace base
