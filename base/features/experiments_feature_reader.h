#ifndef BASE_FEATURES_EXPERIMENTS_FEATURE_READER_H_
#define BASE_FEATURES_EXPERIMENTS_FEATURE_READER_H_

#include <string>
#include <vector>

#include "base/features/feature_registry.h"

namespace base {

class ListValue;

// Reads overrides from a list of experiment entries "name@1" (on) and
// "name@2" (off). Entries that are not strings or not of that form are
// skipped.
class ExperimentsFeatureReader : public FeatureReader {
 public:
  // `experiments` is not owned and must outlive the reader.
  explicit ExperimentsFeatureReader(const ListValue* experiments);
  ~ExperimentsFeatureReader() override;

  void ReadOverrides(std::vector<FeatureOverride>* out) override;

 private:
  const ListValue* experiments_;
};

// Parses one entry; whitespace around the name and the number is ignored.
// `out` is written only on success.
bool ParseExperimentFeatureEntry(const std::string& entry, FeatureOverride* out);

}  // namespace base

#endif  // BASE_FEATURES_EXPERIMENTS_FEATURE_READER_H_
