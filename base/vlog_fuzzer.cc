// A "v" value, a "vmodule" value and file names, one per line: setting up
// never fails, and every level answered is the one a plain table-driven
// matcher finds, which also bounds the matcher's time by the fuzz run's.

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/logging.h"
#include "base/logging_internal.h"
#include "base/vlog.h"

namespace {

namespace li = base::logging_internal;

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Whether |pattern| matches all of |text|, by the table of which pattern
// prefixes match which text prefixes.
bool ReferenceMatch(const std::string& text, const std::string& pattern) {
  std::vector<bool> row(text.size() + 1, false);
  row[0] = true;
  for (char p : pattern) {
    std::vector<bool> next(text.size() + 1, false);
    if (p == '*') {
      bool any = false;
      for (size_t t = 0; t <= text.size(); ++t) {
        any = any || row[t];
        next[t] = any;
      }
    } else {
      for (size_t t = 0; t < text.size(); ++t) {
        const char c = text[t];
        const bool same = IsSeparator(p) ? IsSeparator(c) : (p == '?' || p == c);
        next[t + 1] = row[t] && same;
      }
    }
    row.swap(next);
  }
  return row[text.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = input.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(input.substr(start, end - start));
  }
  lines.push_back(input.substr(start));
  while (lines.size() < 3)
    lines.push_back(std::string());

  int min_log_level = 0;
  const base::VlogInfo info(lines[0], lines[1], &min_log_level);
  for (size_t i = 2; i < lines.size(); ++i) {
    const std::string& file = lines[i];
    const std::string module = li::VlogModuleName(file);
    int expected = -min_log_level;
    for (const base::VlogInfo::VmodulePattern& pattern : info.patterns()) {
      const std::string& target =
          pattern.match_target == base::VlogInfo::MATCH_FILE ? file : module;
      const bool match = ReferenceMatch(target, pattern.pattern);
      CHECK_EQ(match, li::MatchVlogPattern(target, pattern.pattern));
      if (match) {
        expected = pattern.vlog_level;
        break;
      }
    }
    CHECK_EQ(expected, info.GetVlogLevel(file));
  }
  return 0;
}
