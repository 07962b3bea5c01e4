#include "base/features/experiments_feature_reader.h"

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/values.h"

namespace base {

namespace {

constexpr int kExperimentOn = 1;
constexpr int kExperimentOff = 2;

}  // namespace

ExperimentsFeatureReader::ExperimentsFeatureReader(const ListValue* experiments)
    : experiments_(experiments) {}

ExperimentsFeatureReader::~ExperimentsFeatureReader() = default;

void ExperimentsFeatureReader::ReadOverrides(std::vector<FeatureOverride>* out) {
  for (const auto& element : *experiments_) {
    std::string entry;
    if (!element->GetAsString(&entry))
      continue;
    FeatureOverride parsed;
    if (ParseExperimentFeatureEntry(entry, &parsed))
      out->push_back(parsed);
  }
}

bool ParseExperimentFeatureEntry(const std::string& entry, FeatureOverride* out) {
  const std::vector<std::string> pieces = SplitString(entry, "@", TRIM_WHITESPACE, SPLIT_WANT_ALL);
  if (pieces.size() != 2)
    return false;
  int group = 0;
  if (!StringToInt(pieces[1], &group) || (group != kExperimentOn && group != kExperimentOff))
    return false;
  out->name = pieces[0];
  out->enabled = group == kExperimentOn;
  return true;
}

}  // namespace base
