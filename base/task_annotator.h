#ifndef BASE_TASK_ANNOTATOR_H_
#define BASE_TASK_ANNOTATOR_H_

#include <stdint.h>

#include "base/location.h"
#include "base/trace_event/trace_log.h"

namespace base {

struct PendingTask;

namespace internal {

// A complete trace event in "toplevel" around one task run, with the posting
// file and function as arguments; recorded only while the category is on.
class ScopedTaskTraceEvent {
 public:
  ScopedTaskTraceEvent(const char* name, const Location& posted_from);
  ~ScopedTaskTraceEvent();

 private:
  const char* name_;
  const unsigned char* category_;
  bool recording_ = false;
  trace_event::TraceEventHandle handle_ = {};

  ScopedTaskTraceEvent(const ScopedTaskTraceEvent&) = delete;
  ScopedTaskTraceEvent& operator=(const ScopedTaskTraceEvent&) = delete;
};

// Whether events of a category are being recorded.
bool IsCategoryRecording(const unsigned char* category);

}  // namespace internal

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
