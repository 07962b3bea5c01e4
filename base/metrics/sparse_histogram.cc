#include "base/metrics/sparse_histogram.h"

#include "base/metrics/statistics_recorder.h"

namespace base {

HistogramBase* SparseHistogram::FactoryGet(const std::string& name, int32_t flags) {
  return StatisticsRecorder::FindOrCreate(name, SPARSE_HISTOGRAM,
                                          flags | HistogramBase::kUmaTargetedHistogramFlag, 0, 0,
                                          0);
}

}  // namespace base
