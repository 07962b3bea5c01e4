#include "base/metrics/histogram_base.h"

#include <limits>

namespace base {

namespace internal {

int ClampedMilliseconds(TimeDelta delta) {
  const int64_t ms = delta.InMilliseconds();
  if (ms > std::numeric_limits<int>::max())
    return std::numeric_limits<int>::max();
  if (ms < std::numeric_limits<int>::min())
    return std::numeric_limits<int>::min();
  return static_cast<int>(ms);
}

}  // namespace internal

HistogramBase::HistogramBase(const std::string& name,
                             HistogramType type,
                             int32_t flags,
                             int declared_min,
                             int declared_max,
                             uint32_t bucket_count)
    : name_(name),
      type_(type),
      flags_(flags),
      declared_min_(declared_min),
      declared_max_(declared_max),
      bucket_count_(bucket_count) {}

HistogramBase::~HistogramBase() = default;

void HistogramBase::Add(int sample) {
  AutoLock hold(lock_);
  ++counts_[sample];
}

void HistogramBase::AddTime(TimeDelta time) {
  Add(internal::ClampedMilliseconds(time));
}

int64_t HistogramBase::GetCount(int sample) const {
  AutoLock hold(lock_);
  auto found = counts_.find(sample);
  return found == counts_.end() ? 0 : found->second;
}

int64_t HistogramBase::TotalCount() const {
  AutoLock hold(lock_);
  int64_t total = 0;
  for (const auto& entry : counts_)
    total += entry.second;
  return total;
}

}  // namespace base
