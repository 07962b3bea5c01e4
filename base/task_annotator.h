#ifndef BASE_TASK_ANNOTATOR_H_
#define BASE_TASK_ANNOTATOR_H_

#include <stdint.h>

#include "base/location.h"
#include "base/trace_event/trace_log.h"

namespace base {

struct PendingTask;

namespace internal {

// A complete trace event around one task run, with the posting file and
// function as arguments; recorded only while its category is on. Without a
// flow id it goes to "toplevel"; with one it is the run side of a flow in
// "disabled-by-default-toplevel.flow".
class ScopedTaskTraceEvent {
 public:
  ScopedTaskTraceEvent(const char* name, const Location& posted_from);
  ScopedTaskTraceEvent(const char* name,
                       const Location& posted_from,
                       uint64_t flow_in_id);
  ~ScopedTaskTraceEvent();

 private:
  void Begin(const Location& posted_from, uint64_t bind_id, unsigned int flags);

  const char* name_;
  const unsigned char* category_;
  bool recording_ = false;
  trace_event::TraceEventHandle handle_ = {};

  ScopedTaskTraceEvent(const ScopedTaskTraceEvent&) = delete;
  ScopedTaskTraceEvent& operator=(const ScopedTaskTraceEvent&) = delete;
};

// Whether events of a category are being recorded.
bool IsCategoryRecording(const unsigned char* category);

// The queue side of a flow: an event named by the queueing function.
void TraceFlowOut(const char* name, uint64_t flow_id);

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
