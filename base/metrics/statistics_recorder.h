#ifndef BASE_METRICS_STATISTICS_RECORDER_H_
#define BASE_METRICS_STATISTICS_RECORDER_H_

#include <stdint.h>

#include <string>

#include "base/metrics/histogram_base.h"

namespace base {

// The process-wide registry of histograms by name. Histograms live until
// the process ends, so callers may keep the pointers in statics.
class StatisticsRecorder {
 public:
  // The registered histogram of that name, or null.
  static HistogramBase* FindHistogram(const std::string& name);

  // The registered histogram of that name (whatever its kind and limits),
  // else a new one with these, registered. Never null.
  static HistogramBase* FindOrCreate(const std::string& name,
                                     HistogramType type,
                                     int32_t flags,
                                     int declared_min,
                                     int declared_max,
                                     uint32_t bucket_count);

  StatisticsRecorder() = delete;
};

}  // namespace base

#endif  // BASE_METRICS_STATISTICS_RECORDER_H_
