#include "base/features/command_line_feature_reader.h"

#include <string>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

CommandLineFeatureReader::CommandLineFeatureReader(const CommandLine* command_line)
    : command_line_(command_line) {}

CommandLineFeatureReader::~CommandLineFeatureReader() = default;

void CommandLineFeatureReader::ReadOverrides(std::vector<FeatureOverride>* out) {
  // Keys are lower case and sorted, so overrides come in key order.
  const std::string prefix = GetFeatureSwitchName(StringPiece());
  for (const auto& entry : command_line_->GetSwitches()) {
    const std::string& key = entry.first;
    if (key.compare(0, prefix.size(), prefix) != 0)
      continue;
    // A switch given without a value means "on". A value that is not ASCII
    // is reported like any other unknown value, not taken for an empty one
    // (which would turn the feature on).
    const bool ascii = IsStringASCII16Str(entry.second);
    const std::string value = ascii ? UTF16ToASCII(entry.second) : UTF16ToUTF8(entry.second);
    if (ascii && (value.empty() || value == "on" || value == "off")) {
      out->push_back(FeatureOverride{key.substr(prefix.size()), value != "off"});
      continue;
    }

    LOG(WARNING) << key << " has unhandled value: \"" << value
                 << "\" did you mean \"on\" or \"off\"? Using default setting.";
  }
}

void AppendFeatureSwitches(CommandLine* command_line) {
  for (const FeatureOverride& feature : FeatureRegistry::GetInstance()->overrides()) {
    command_line->AppendSwitchNative(GetFeatureSwitchName(feature.name),
                                     ASCIIToUTF16(feature.enabled ? "on" : "off"));
  }
}

}  // namespace base
