#include "base/pending_task.h"

#include <utility>

namespace base {

PendingTask::PendingTask(const Location& posted_from, Closure task)
    : TrackingInfo(posted_from, TimeTicks()),
      task(std::move(task)),
      posted_from(posted_from) {}

PendingTask::PendingTask(const Location& posted_from,
                         Closure task,
                         TimeTicks delayed_run_time,
                         bool nestable)
    : TrackingInfo(posted_from, delayed_run_time),
      task(std::move(task)),
      posted_from(posted_from),
      nestable(nestable) {}

PendingTask::PendingTask(PendingTask&& other) = default;
PendingTask& PendingTask::operator=(PendingTask&& other) = default;
PendingTask::~PendingTask() = default;

bool SequenceNumberIsLater(int a, int b) {
  // The difference is taken in unsigned arithmetic: signed overflow would be
  // undefined, and the wrapped difference read as signed is what orders the
  // numbers across the wrap.
  uint32_t diff = static_cast<uint32_t>(a) - static_cast<uint32_t>(b);
  return static_cast<int32_t>(diff) > 0;
}

bool PendingTask::operator<(const PendingTask& other) const {
  if (delayed_run_time < other.delayed_run_time)
    return false;
  if (delayed_run_time > other.delayed_run_time)
    return true;
  return SequenceNumberIsLater(sequence_num, other.sequence_num);
}

PendingTask PopDelayedTask(DelayedTaskQueue* queue) {
  // priority_queue only hands out a const top; moving from it is safe because
  // the element is popped at once.
  PendingTask task = std::move(const_cast<PendingTask&>(queue->top()));
  queue->pop();
  return task;
}

}  // namespace base
