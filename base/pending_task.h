#ifndef BASE_PENDING_TASK_H_
#define BASE_PENDING_TASK_H_

#include <stdint.h>

#include <queue>

#include "base/callback.h"
#include "base/location.h"
#include "base/time/time.h"
#include "base/tracked_objects.h"

namespace base {

// One queued task. Moved from queue to queue, never shared.
struct PendingTask : public tracked_objects::TrackingInfo {
  PendingTask(const Location& posted_from, Closure task);
  PendingTask(const Location& posted_from,
              Closure task,
              TimeTicks delayed_run_time,
              bool nestable);
  PendingTask(PendingTask&& other);
  PendingTask& operator=(PendingTask&& other);
  ~PendingTask();

  // Heap order: a task "less than" another runs after it, so that the top of
  // a max-heap is the next task to run.
  bool operator<(const PendingTask& other) const;

  Closure task;
  Location posted_from;
  // Order of posting on the loop; compared by the sign of the difference so
  // that the order survives the wrap of the counter.
  int sequence_num = 0;
  bool nestable = true;
  // Asked for a delay above zero and below 32 ms.
  bool is_high_res = false;
};

// True when sequence number |a| was handed out after |b|.
bool SequenceNumberIsLater(int a, int b);

using TaskQueue = std::queue<PendingTask>;
using DelayedTaskQueue = std::priority_queue<PendingTask>;

// Takes the top task out of a delayed queue.
PendingTask PopDelayedTask(DelayedTaskQueue* queue);

}  // namespace base

#endif  // BASE_PENDING_TASK_H_
