#include "base/task_annotator.h"

#include "base/debug/alias.h"
#include "base/pending_task.h"
#include "base/tracked_objects.h"

namespace base {

namespace {

// The effective posting time in milliseconds: the run time of a delayed task,
// else the time it was posted.
int64_t EffectivePostingTimeMs(const PendingTask& pending_task) {
  if (pending_task.delayed_run_time.is_null())
    return pending_task.time_posted;
  if (pending_task.delayed_run_time.is_max())
    return -1;
  return (pending_task.delayed_run_time - TimeTicks()).InMilliseconds();
}

}  // namespace

void TaskAnnotator::DidQueueTask(const char* queue_function,
                                 const PendingTask& pending_task) {
  // Flow events are recorded once the trace hooks exist.
  (void)queue_function;
  (void)GetTaskTraceID(pending_task);
}

void TaskAnnotator::RunTask(const char* queue_function,
                            PendingTask* pending_task) {
  tracked_objects::TaskStopwatch stopwatch;
  stopwatch.Start();
  int64_t queue_duration =
      stopwatch.StartTime() - EffectivePostingTimeMs(*pending_task);
  (void)queue_duration;
  (void)queue_function;

  // Shows the posting code in a crash dump of this task.
  const void* program_counter = pending_task->posted_from.program_counter();
  debug::Alias(&program_counter);

  pending_task->task.Run();

  stopwatch.Stop();
  tracked_objects::ThreadData::TallyRunOnNamedThreadIfTracking(*pending_task,
                                                               stopwatch);
}

uint64_t TaskAnnotator::GetTaskTraceID(const PendingTask& task) const {
  return (static_cast<uint64_t>(static_cast<uint32_t>(task.sequence_num))
          << 32) |
         (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this)) &
          0xffffffffu);
}

}  // namespace base
