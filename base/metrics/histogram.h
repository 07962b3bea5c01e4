#ifndef BASE_METRICS_HISTOGRAM_H_
#define BASE_METRICS_HISTOGRAM_H_

#include <stdint.h>

#include <string>

#include "base/metrics/histogram_base.h"
#include "base/time/time.h"

namespace base {

// Factories of exponential histograms. A minimum below 1 becomes 1, a
// maximum of INT_MAX becomes INT_MAX - 1, and the bucket count is capped.
class Histogram {
 public:
  static constexpr uint32_t kBucketCountLimit = 16383;

  static HistogramBase* FactoryGet(const std::string& name,
                                   int minimum,
                                   int maximum,
                                   uint32_t bucket_count,
                                   int32_t flags);
  // Samples in milliseconds.
  static HistogramBase* FactoryTimeGet(const std::string& name,
                                       TimeDelta minimum,
                                       TimeDelta maximum,
                                       uint32_t bucket_count,
                                       int32_t flags);

  Histogram() = delete;
};

// Linear histograms with minimum 1, marked for upload.
class LinearHistogram {
 public:
  static HistogramBase* FactoryGet(const char* name, int maximum, uint32_t bucket_count);

  LinearHistogram() = delete;
};

namespace internal {

struct HistogramLimits {
  int minimum;
  int maximum;
  uint32_t bucket_count;
};

HistogramLimits ClampHistogramLimits(int minimum, int maximum, uint32_t bucket_count);

}  // namespace internal

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_H_
