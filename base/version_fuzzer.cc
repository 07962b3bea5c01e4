// Three version texts, one per line: each parses to the components it
// spells or is invalid, a valid one reads back from its canonical text, and
// the comparison is a total order (antisymmetric and transitive).

#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/version.h"

namespace {

std::string Canonical(const base::Version& version) {
  std::string text;
  for (uint32_t component : version.components()) {
    if (!text.empty())
      text += '.';
    text += base::UintToString(component);
  }
  return text;
}

void CheckOne(const std::string& text) {
  const base::Version version(text);
  std::vector<uint32_t> parsed;
  const bool ok = base::ParseVersionNumbers(text, &parsed);
  CHECK_EQ(ok, version.IsValid());
  if (!ok) {
    CHECK(version.components().empty());
    return;
  }
  CHECK(parsed == version.components());
  CHECK_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '.')) + 1,
           parsed.size());
  const base::Version again(Canonical(version));
  CHECK(again.IsValid());
  CHECK(again.components() == version.components());
  CHECK_EQ(0, version.CompareTo(again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> texts;
  size_t start = 0;
  while (texts.size() < 2) {
    const size_t end = input.find('\n', start);
    if (end == std::string::npos)
      break;
    texts.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  texts.push_back(input.substr(start));

  std::vector<base::Version> versions;
  for (const std::string& text : texts) {
    CheckOne(text);
    base::Version version(text);
    if (version.IsValid())
      versions.push_back(version);
  }
  for (const base::Version& a : versions) {
    for (const base::Version& b : versions) {
      const int order = a.CompareTo(b);
      CHECK(order >= -1 && order <= 1);
      CHECK_EQ(order, -b.CompareTo(a));
      for (const base::Version& c : versions) {
        if (order <= 0 && b.CompareTo(c) <= 0)
          CHECK_LE(a.CompareTo(c), 0);
      }
    }
  }
  return 0;
}
