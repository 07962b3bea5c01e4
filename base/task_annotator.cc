#include "base/task_annotator.h"

#include "base/debug/activity_tracker.h"
#include "base/debug/alias.h"
#include "base/pending_task.h"
#include "base/threading/platform_thread.h"
#include "base/tracked_objects.h"

namespace base {

namespace {

const unsigned char* TopLevelCategory() {
  static const unsigned char* category =
      trace_event::TraceLog::GetInstance()->GetCategoryGroupEnabled("toplevel");
  return category;
}

const unsigned char* FlowCategory() {
  static const unsigned char* category =
      trace_event::TraceLog::GetInstance()->GetCategoryGroupEnabled(
          "disabled-by-default-toplevel.flow");
  return category;
}

// Adds a complete event with the current thread and time.
trace_event::TraceEventHandle AddCompleteEvent(
    const unsigned char* category,
    const char* name,
    uint64_t bind_id,
    int num_args,
    const char* const* arg_names,
    const unsigned char* arg_types,
    const unsigned long long* arg_values,
    unsigned int flags) {
  return trace_event::TraceLog::GetInstance()
      ->AddTraceEventWithThreadIdAndTimestamp(
          trace_event::kPhaseComplete, category, name, nullptr, 0, bind_id,
          static_cast<int>(PlatformThread::CurrentId()), TimeTicks::Now(),
          num_args, arg_names, arg_types, arg_values, flags);
}

void EndCompleteEvent(const unsigned char* category,
                      const char* name,
                      trace_event::TraceEventHandle handle) {
  trace_event::TraceLog::GetInstance()->UpdateTraceEventDuration(category,
                                                                 name, handle);
  if (*category & trace_event::kCategoryEnabledForFiltering)
    trace_event::TraceLog::GetInstance()->EndFilteredEvent(category, name,
                                                           handle);
}

}  // namespace

namespace internal {

bool IsCategoryRecording(const unsigned char* category) {
  return (*category & trace_event::kCategoryEnabledForRecordingMask) != 0;
}

ScopedTaskTraceEvent::ScopedTaskTraceEvent(const char* name,
                                           const Location& posted_from)
    : name_(name), category_(TopLevelCategory()) {
  Begin(posted_from, 0, trace_event::kTraceEventFlagNone);
}

ScopedTaskTraceEvent::ScopedTaskTraceEvent(const char* name,
                                           const Location& posted_from,
                                           uint64_t flow_in_id)
    : name_(name), category_(FlowCategory()) {
  Begin(posted_from, flow_in_id,
        trace_event::kTraceEventFlagFlowIn |
            trace_event::kTraceEventFlagMangleId);
}

void ScopedTaskTraceEvent::Begin(const Location& posted_from,
                                 uint64_t bind_id,
                                 unsigned int flags) {
  if (!IsCategoryRecording(category_))
    return;
  static const char* const kArgNames[] = {"src_file", "src_func"};
  static const unsigned char kArgTypes[] = {
      trace_event::kTraceValueTypeCopyString,
      trace_event::kTraceValueTypeCopyString};
  const char* file = posted_from.file_name() ? posted_from.file_name()
                                             : "Unknown";
  const char* function = posted_from.function_name()
                             ? posted_from.function_name()
                             : "Unknown";
  const unsigned long long values[] = {
      reinterpret_cast<uintptr_t>(file), reinterpret_cast<uintptr_t>(function)};
  handle_ = AddCompleteEvent(category_, name_, bind_id, 2, kArgNames,
                             kArgTypes, values, flags);
  recording_ = true;
}

ScopedTaskTraceEvent::~ScopedTaskTraceEvent() {
  if (recording_)
    EndCompleteEvent(category_, name_, handle_);
}

void TraceFlowOut(const char* name, uint64_t flow_id) {
  if (!IsCategoryRecording(FlowCategory()))
    return;
  trace_event::TraceEventHandle handle = AddCompleteEvent(
      FlowCategory(), name, flow_id, 0, nullptr, nullptr, nullptr,
      trace_event::kTraceEventFlagFlowOut |
          trace_event::kTraceEventFlagMangleId);
  EndCompleteEvent(FlowCategory(), name, handle);
}

}  // namespace internal

void TaskAnnotator::DidQueueTask(const char* queue_function,
                                 const PendingTask& pending_task) {
  internal::TraceFlowOut(queue_function, GetTaskTraceID(pending_task));
}

void TaskAnnotator::RunTask(const char* queue_function,
                            PendingTask* pending_task) {
  debug::ScopedTaskRunActivity task_activity(*pending_task);

  tracked_objects::TaskStopwatch stopwatch;
  stopwatch.Start();
  int32_t queue_duration = tracked_objects::internal::QueueDuration(
      *pending_task, stopwatch.StartTime());

  bool flow_recording = internal::IsCategoryRecording(FlowCategory());
  trace_event::TraceEventHandle flow_handle = {};
  if (flow_recording) {
    static const char* const kArgNames[] = {"queue_duration"};
    static const unsigned char kArgTypes[] = {
        trace_event::kTraceValueTypeInt};
    const unsigned long long values[] = {
        static_cast<unsigned long long>(queue_duration)};
    flow_handle = AddCompleteEvent(
        FlowCategory(), queue_function, GetTaskTraceID(*pending_task), 1,
        kArgNames, kArgTypes, values,
        trace_event::kTraceEventFlagFlowIn |
            trace_event::kTraceEventFlagMangleId);
  }

  // Shows the posting code in a crash dump of this task.
  const void* program_counter = pending_task->posted_from.program_counter();
  DebugAlias(&program_counter);

  pending_task->task.Run();

  stopwatch.Stop();
  tracked_objects::ThreadData::TallyRunOnNamedThreadIfTracking(*pending_task,
                                                               stopwatch);
  if (flow_recording)
    EndCompleteEvent(FlowCategory(), queue_function, flow_handle);
}

uint64_t TaskAnnotator::GetTaskTraceID(const PendingTask& task) const {
  return (static_cast<uint64_t>(static_cast<uint32_t>(task.sequence_num))
          << 32) |
         (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this)) &
          0xffffffffu);
}

}  // namespace base
