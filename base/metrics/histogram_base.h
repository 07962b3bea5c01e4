#ifndef BASE_METRICS_HISTOGRAM_BASE_H_
#define BASE_METRICS_HISTOGRAM_BASE_H_

#include <stdint.h>

#include <map>
#include <string>

#include "base/synchronization/lock.h"
#include "base/time/time.h"

namespace base {

enum HistogramType {
  HISTOGRAM,
  LINEAR_HISTOGRAM,
  SPARSE_HISTOGRAM,
};

// A named histogram of the process registry. Samples are counted per exact
// value, which is all this program needs: nothing uploads them, and tests
// read the counts back.
class HistogramBase {
 public:
  enum Flags : int32_t {
    kNoFlags = 0,
    kUmaTargetedHistogramFlag = 0x1,  // Marked for upload.
  };

  HistogramBase(const std::string& name,
                HistogramType type,
                int32_t flags,
                int declared_min,
                int declared_max,
                uint32_t bucket_count);
  virtual ~HistogramBase();
  HistogramBase(const HistogramBase&) = delete;
  HistogramBase& operator=(const HistogramBase&) = delete;

  const std::string& histogram_name() const { return name_; }
  HistogramType type() const { return type_; }
  int32_t flags() const { return flags_; }
  int declared_min() const { return declared_min_; }
  int declared_max() const { return declared_max_; }
  uint32_t bucket_count() const { return bucket_count_; }

  // Thread-safe.
  virtual void Add(int sample);
  // Milliseconds, truncated toward zero and clamped to the int range.
  void AddTime(TimeDelta time);

  int64_t GetCount(int sample) const;
  int64_t TotalCount() const;

 private:
  const std::string name_;
  const HistogramType type_;
  const int32_t flags_;
  const int declared_min_;
  const int declared_max_;
  const uint32_t bucket_count_;

  mutable Lock lock_;
  std::map<int, int64_t> counts_;
};

namespace internal {

// Milliseconds truncated toward zero and clamped to the int range.
int ClampedMilliseconds(TimeDelta delta);

}  // namespace internal

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_BASE_H_
