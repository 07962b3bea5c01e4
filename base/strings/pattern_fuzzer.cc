// Any bytes as a pattern and a text: matching stays inside both, ends in
// time that grows with their lengths, and keeps these promises: text that
// is valid UTF-8 matches itself with its wildcards escaped, and a match of
// few enough wildcards survives a leading '*' or '?'.

#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <string>

#include "base/logging.h"
#include "base/strings/pattern.h"
#include "base/strings/utf_string_conversions.h"

namespace {

std::string Escaped(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '*' || c == '?' || c == '\\')
      escaped.push_back('\\');
    escaped.push_back(c);
  }
  return escaped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first NUL ends the pattern; the rest is the text.
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = std::min(input.find('\0'), input.size());
  const std::string pattern = input.substr(0, split);
  const std::string text = split < input.size() ? input.substr(split + 1) : "";

  const bool matched = base::MatchPattern(text, pattern);
  CHECK(base::MatchPattern(text, "*"));
  string16 ignored;
  if (base::ConvertUTF8ToUTF16(text.data(), text.size(), &ignored))
    CHECK(base::MatchPattern(text, Escaped(text)));

  // One more wildcard stays within the nesting limit of 16.
  const size_t wildcards = static_cast<size_t>(
      std::count(pattern.begin(), pattern.end(), '*') +
      std::count(pattern.begin(), pattern.end(), '?'));
  if (matched && wildcards < 16) {
    CHECK(base::MatchPattern(text, "*" + pattern));
    CHECK(base::MatchPattern(text, "?" + pattern));
  }
  return 0;
}
