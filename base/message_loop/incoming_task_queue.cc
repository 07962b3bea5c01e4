#include "base/message_loop/incoming_task_queue.h"

#include <mutex>
#include <utility>

#include "base/message_loop/message_loop.h"

namespace base {
namespace internal {

namespace {

// Delays below this, but above zero, ask for the high-resolution timer.
constexpr int64_t kHighResDelayLimitMs = 32;

TimeTicks CalculateDelayedRuntime(TimeDelta delay) {
  if (delay <= TimeDelta())
    return TimeTicks();
  return TimeTicks::Now() + delay;
}

bool IsHighResDelay(TimeDelta delay) {
  return delay > TimeDelta() && !delay.is_max() &&
         delay.InMilliseconds() < kHighResDelayLimitMs;
}

}  // namespace

IncomingTaskQueue::IncomingTaskQueue(MessageLoop* message_loop)
    : message_loop_(message_loop) {}

IncomingTaskQueue::~IncomingTaskQueue() = default;

bool IncomingTaskQueue::AddToIncomingQueue(const Location& from_here,
                                           Closure task,
                                           TimeDelta delay,
                                           bool nestable) {
  PendingTask pending_task(from_here, std::move(task),
                           CalculateDelayedRuntime(delay), nestable);
  pending_task.is_high_res = IsHighResDelay(delay);

  std::shared_lock<std::shared_mutex> loop_lock(message_loop_lock_);
  if (!message_loop_) {
    // The loop is being destroyed; the closure goes on this thread.
    pending_task.task.Reset();
    return false;
  }
  if (EnqueueTask(&pending_task))
    ScheduleWork();
  return true;
}

void IncomingTaskQueue::ScheduleWork() {
  if (!message_loop_->ScheduleWork())
    WakeUpLost();
}

void IncomingTaskQueue::WakeUpLost() {
  // No wake-up is coming: the next post must try again.
  AutoLock lock(incoming_queue_lock_);
  message_loop_scheduled_ = false;
}

bool IncomingTaskQueue::EnqueueTask(PendingTask* pending_task) {
  AutoLock lock(incoming_queue_lock_);
  if (pending_task->is_high_res)
    ++high_res_task_count_;
  pending_task->sequence_num = next_sequence_num_;
  // Wraps on purpose; the heap compares sequence numbers across the wrap.
  next_sequence_num_ =
      static_cast<int>(static_cast<uint32_t>(next_sequence_num_) + 1u);
  message_loop_->task_annotator()->DidQueueTask("MessageLoop::PostTask",
                                                *pending_task);
  incoming_queue_.push(std::move(*pending_task));
  if (is_ready_for_scheduling_ && !message_loop_scheduled_) {
    message_loop_scheduled_ = true;
    return true;
  }
  return false;
}

int IncomingTaskQueue::ReloadWorkQueue(TaskQueue* work_queue) {
  AutoLock lock(incoming_queue_lock_);
  // The loop has seen every task posted so far; the next post needs a
  // wake-up of its own (the pump sends none while one is in flight), since a
  // foreign modal loop runs our tasks only when woken.
  message_loop_scheduled_ = false;
  incoming_queue_.swap(*work_queue);
  int high_res_tasks = high_res_task_count_;
  high_res_task_count_ = 0;
  return high_res_tasks;
}

void IncomingTaskQueue::WillDestroyCurrentMessageLoop() {
  std::unique_lock<std::shared_mutex> loop_lock(message_loop_lock_);
  message_loop_ = nullptr;
}

void IncomingTaskQueue::StartScheduling() {
  bool schedule_work;
  {
    AutoLock lock(incoming_queue_lock_);
    is_ready_for_scheduling_ = true;
    schedule_work = !incoming_queue_.empty();
    if (schedule_work)
      message_loop_scheduled_ = true;
  }
  if (schedule_work)
    ScheduleWork();
}

}  // namespace internal
}  // namespace base
