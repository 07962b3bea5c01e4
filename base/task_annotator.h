#ifndef BASE_TASK_ANNOTATOR_H_
#define BASE_TASK_ANNOTATOR_H_

#include <stdint.h>

namespace base {

struct PendingTask;

// Records the queuing and the running of tasks for tracing, activity
// tracking and task profiling.
class TaskAnnotator {
 public:
  TaskAnnotator() = default;

  void DidQueueTask(const char* queue_function, const PendingTask& pending_task);

  // Runs the task's closure with the records around it.
  void RunTask(const char* queue_function, PendingTask* pending_task);

 private:
  // Ties the queue-side and the run-side trace events of a task together.
  uint64_t GetTaskTraceID(const PendingTask& task) const;

  TaskAnnotator(const TaskAnnotator&) = delete;
  TaskAnnotator& operator=(const TaskAnnotator&) = delete;
};

}  // namespace base

#endif  // BASE_TASK_ANNOTATOR_H_
