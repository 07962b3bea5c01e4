#ifndef BASE_FEATURES_FEATURE_REGISTRY_H_
#define BASE_FEATURES_FEATURE_REGISTRY_H_

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {

struct FeatureEntry {
  std::string name;
  bool enabled_by_default;
  bool overridable;
};

struct FeatureOverride {
  std::string name;
  bool enabled;
};

// A source of feature overrides: the command line, an experiments list.
class FeatureReader {
 public:
  virtual ~FeatureReader() = default;
  // Appends what the source asks for, in the source's order.
  virtual void ReadOverrides(std::vector<FeatureOverride>* out) = 0;
};

// The named on/off features of the process and the overrides read for them.
// Features are registered and overrides read on the main thread at start-up;
// IsEnabled may be asked from any thread afterwards and takes no lock.
class FeatureRegistry {
 public:
  FeatureRegistry();
  FeatureRegistry(const FeatureRegistry&) = delete;
  FeatureRegistry& operator=(const FeatureRegistry&) = delete;
  ~FeatureRegistry();

  // The process's registry, created on first use and never freed.
  static FeatureRegistry* GetInstance();

  // A name registered twice keeps its first entry. Names are compared
  // exactly; command-line switch keys are lower case, so a feature meant to
  // be switched from the command line has a lower-case name.
  void AddFeature(StringPiece name, bool enabled_by_default, bool overridable);
  void ReadOverridesFrom(FeatureReader* reader);

  // False for a name never registered. An overridable feature follows the
  // override read last for it, any other its default.
  bool IsEnabled(StringPiece name) const;

  const std::vector<FeatureOverride>& overrides() const { return overrides_; }

 private:
  std::vector<FeatureEntry> features_;
  std::vector<FeatureOverride> overrides_;
};

// IsEnabled on the process's registry.
bool IsFeatureEnabled(StringPiece name);

// The command-line switch that overrides `name`: "with-feature:" + name.
std::string GetFeatureSwitchName(StringPiece name);

}  // namespace base

#endif  // BASE_FEATURES_FEATURE_REGISTRY_H_
