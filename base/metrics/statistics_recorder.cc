#include "base/metrics/statistics_recorder.h"

#include <map>

#include "base/lazy_instance.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

struct Registry {
  Lock lock;
  // Never freed: callers keep the pointers for the life of the process.
  std::map<std::string, HistogramBase*> histograms;
};

LazyInstance<Registry> g_registry;

}  // namespace

HistogramBase* StatisticsRecorder::FindHistogram(const std::string& name) {
  Registry& registry = g_registry.Get();
  AutoLock hold(registry.lock);
  auto found = registry.histograms.find(name);
  return found == registry.histograms.end() ? nullptr : found->second;
}

HistogramBase* StatisticsRecorder::FindOrCreate(const std::string& name,
                                                HistogramType type,
                                                int32_t flags,
                                                int declared_min,
                                                int declared_max,
                                                uint32_t bucket_count) {
  Registry& registry = g_registry.Get();
  AutoLock hold(registry.lock);
  HistogramBase*& slot = registry.histograms[name];
  if (!slot)
    slot = new HistogramBase(name, type, flags, declared_min, declared_max, bucket_count);
  return slot;
}

}  // namespace base
