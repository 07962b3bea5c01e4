#ifndef BASE_TRACE_EVENT_TRACE_LOG_H_
#define BASE_TRACE_EVENT_TRACE_LOG_H_

#include <stdint.h>

#include "base/time/time.h"

namespace base {
namespace trace_event {

// Bits of a category's flags byte; a caller records an event only when one
// of kCategoryEnabledForRecordingMask is set.
constexpr unsigned char kCategoryEnabledForFiltering = 0x10;
constexpr unsigned char kCategoryEnabledForRecordingMask = 0x1D;

constexpr char kPhaseComplete = 'X';

constexpr unsigned int kTraceEventFlagNone = 0;
constexpr unsigned int kTraceEventFlagMangleId = 0x4;
constexpr unsigned int kTraceEventFlagFlowIn = 0x100;
constexpr unsigned int kTraceEventFlagFlowOut = 0x200;

constexpr unsigned char kTraceValueTypeUint = 2;
constexpr unsigned char kTraceValueTypeInt = 3;
constexpr unsigned char kTraceValueTypeCopyString = 6;

struct TraceEventHandle {
  uint32_t chunk_seq;
  uint16_t chunk_index;
  uint16_t event_index;
};

// The process's trace log. This program records no trace events: every
// category is disabled, so callers that test the flags byte never add one.
class TraceLog {
 public:
  static TraceLog* GetInstance();

  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // The category's flags byte; callers resolve it once and keep it.
  const unsigned char* GetCategoryGroupEnabled(const char* category_group);

  TraceEventHandle AddTraceEventWithThreadIdAndTimestamp(char phase,
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
                                                         unsigned int flags);
  void UpdateTraceEventDuration(const unsigned char* category_enabled,
                                const char* name,
                                TraceEventHandle handle);
  void EndFilteredEvent(const unsigned char* category_enabled,
                        const char* name,
                        TraceEventHandle handle);

 private:
  constexpr TraceLog() = default;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_LOG_H_
