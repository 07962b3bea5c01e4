#include "base/vlog.h"

#include "base/logging_internal.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"

namespace base {

VlogInfo::VlogInfo(const std::string& v_switch,
                   const std::string& vmodule_switch,
                   int* min_log_level)
    : min_log_level_(min_log_level) {
  int level = 0;
  if (!v_switch.empty() && StringToInt(v_switch, &level))
    *min_log_level_ = -level;

  // Items are taken one by one so that a malformed one is skipped instead
  // of becoming an empty pattern.
  std::vector<StringPiece> items = SplitStringPieceByChar(
      vmodule_switch, ',', TRIM_WHITESPACE, SPLIT_WANT_NONEMPTY);
  for (StringPiece item : items) {
    StringPairs pair;
    if (!SplitStringIntoKeyValuePairsImpl(item, '=', &pair) || pair.size() != 1)
      continue;
    VmodulePattern pattern;
    pattern.pattern = pair[0].first;
    if (pattern.pattern.find_first_of("\\/") != std::string::npos)
      pattern.match_target = MATCH_FILE;
    // On a parse failure the level is what the parser left.
    StringToInt(pair[0].second, &pattern.vlog_level);
    patterns_.push_back(pattern);
  }
}

VlogInfo::~VlogInfo() = default;

int VlogInfo::GetVlogLevel(StringPiece file) const {
  if (!patterns_.empty()) {
    std::string file_name(file.data(), file.size());
    std::string module = logging_internal::VlogModuleName(file_name);
    for (const VmodulePattern& pattern : patterns_) {
      const std::string& target =
          pattern.match_target == MATCH_FILE ? file_name : module;
      if (logging_internal::MatchVlogPattern(target, pattern.pattern))
        return pattern.vlog_level;
    }
  }
  return -*min_log_level_;
}

}  // namespace base
