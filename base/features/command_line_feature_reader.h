#ifndef BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_
#define BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_

#include <vector>

#include "base/features/feature_registry.h"

namespace base {

class CommandLine;

// Reads overrides from "with-feature:<name>" switches with the value "on"
// (or no value) or "off", in the order of the command line's switch keys.
class CommandLineFeatureReader : public FeatureReader {
 public:
  // `command_line` is not owned and must outlive the reader.
  explicit CommandLineFeatureReader(const CommandLine* command_line);
  ~CommandLineFeatureReader() override;

  void ReadOverrides(std::vector<FeatureOverride>* out) override;

 private:
  const CommandLine* command_line_;
};

// Writes every override of the process's registry onto `command_line` as a
// switch, so that a child process started with it sees the same states.
void AppendFeatureSwitches(CommandLine* command_line);

}  // namespace base

#endif  // BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_
