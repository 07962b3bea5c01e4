#ifndef BASE_METRICS_SPARSE_HISTOGRAM_H_
#define BASE_METRICS_SPARSE_HISTOGRAM_H_

#include <stdint.h>

#include <string>

#include "base/metrics/histogram_base.h"

namespace base {

// Histograms of scattered values, such as system error codes; marked for
// upload.
class SparseHistogram {
 public:
  static HistogramBase* FactoryGet(const std::string& name, int32_t flags);

  SparseHistogram() = delete;
};

}  // namespace base

#endif  // BASE_METRICS_SPARSE_HISTOGRAM_H_
