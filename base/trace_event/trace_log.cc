#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {

namespace {

// Shared by every category; never changes while nothing can enable tracing.
const unsigned char kDisabledCategory = 0;

}  // namespace

TraceLog* TraceLog::GetInstance() {
  static TraceLog instance;
  return &instance;
}

const unsigned char* TraceLog::GetCategoryGroupEnabled(const char* category_group) {
  return &kDisabledCategory;
}

TraceEventHandle TraceLog::AddTraceEventWithThreadIdAndTimestamp(
    char phase,
    const unsigned char* category_enabled,
    const char* name,
    const char* scope,
    unsigned long long id,
    unsigned long long bind_id,
    int thread_id,
    const TimeTicks& timestamp,
    int num_args,
    const char* const* arg_names,
    const unsigned char* arg_types,
    const unsigned long long* arg_values,
    unsigned int flags) {
  return TraceEventHandle{0, 0, 0};
}

void TraceLog::UpdateTraceEventDuration(const unsigned char* category_enabled,
                                        const char* name,
                                        TraceEventHandle handle) {}

void TraceLog::EndFilteredEvent(const unsigned char* category_enabled,
                                const char* name,
                                TraceEventHandle handle) {}

}  // namespace trace_event
}  // namespace base
