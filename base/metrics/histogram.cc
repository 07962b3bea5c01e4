#include "base/metrics/histogram.h"

#include <limits>

#include "base/metrics/statistics_recorder.h"

namespace base {

namespace internal {

HistogramLimits ClampHistogramLimits(int minimum, int maximum, uint32_t bucket_count) {
  HistogramLimits limits{minimum, maximum, bucket_count};
  if (limits.minimum < 1)
    limits.minimum = 1;
  if (limits.maximum == std::numeric_limits<int>::max())
    limits.maximum = std::numeric_limits<int>::max() - 1;
  if (limits.bucket_count > Histogram::kBucketCountLimit)
    limits.bucket_count = Histogram::kBucketCountLimit;
  return limits;
}

}  // namespace internal

namespace {

HistogramBase* Get(const std::string& name,
                   HistogramType type,
                   int minimum,
                   int maximum,
                   uint32_t bucket_count,
                   int32_t flags) {
  const internal::HistogramLimits limits =
      internal::ClampHistogramLimits(minimum, maximum, bucket_count);
  return StatisticsRecorder::FindOrCreate(name, type, flags, limits.minimum, limits.maximum,
                                          limits.bucket_count);
}

}  // namespace

HistogramBase* Histogram::FactoryGet(const std::string& name,
                                     int minimum,
                                     int maximum,
                                     uint32_t bucket_count,
                                     int32_t flags) {
  return Get(name, HISTOGRAM, minimum, maximum, bucket_count, flags);
}

HistogramBase* Histogram::FactoryTimeGet(const std::string& name,
                                         TimeDelta minimum,
                                         TimeDelta maximum,
                                         uint32_t bucket_count,
                                         int32_t flags) {
  return Get(name, HISTOGRAM, internal::ClampedMilliseconds(minimum),
             internal::ClampedMilliseconds(maximum),
             bucket_count, flags);
}

HistogramBase* LinearHistogram::FactoryGet(const char* name, int maximum, uint32_t bucket_count) {
  return Get(name, LINEAR_HISTOGRAM, 1, maximum, bucket_count,
             HistogramBase::kUmaTargetedHistogramFlag);
}

}  // namespace base
