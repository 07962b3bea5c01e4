#include "base/features/feature_registry.h"

#include "base/lazy_instance.h"

namespace base {

namespace {

LazyInstance<FeatureRegistry> g_feature_registry;

constexpr char kFeatureSwitchPrefix[] = "with-feature:";

}  // namespace

FeatureRegistry::FeatureRegistry() = default;
FeatureRegistry::~FeatureRegistry() = default;

// static
FeatureRegistry* FeatureRegistry::GetInstance() {
  return g_feature_registry.Pointer();
}

void FeatureRegistry::AddFeature(StringPiece name, bool enabled_by_default, bool overridable) {
  features_.push_back(FeatureEntry{name.as_string(), enabled_by_default, overridable});
}

void FeatureRegistry::ReadOverridesFrom(FeatureReader* reader) {
  reader->ReadOverrides(&overrides_);
}

bool FeatureRegistry::IsEnabled(StringPiece name) const {
  for (const FeatureEntry& feature : features_) {
    if (StringPiece(feature.name) != name)
      continue;
    if (feature.overridable) {
      for (auto it = overrides_.rbegin(); it != overrides_.rend(); ++it) {
        if (StringPiece(it->name) == name)
          return it->enabled;
      }
    }
    return feature.enabled_by_default;
  }
  return false;
}

bool IsFeatureEnabled(StringPiece name) {
  return FeatureRegistry::GetInstance()->IsEnabled(name);
}

std::string GetFeatureSwitchName(StringPiece name) {
  return kFeatureSwitchPrefix + name.as_string();
}

}  // namespace base
