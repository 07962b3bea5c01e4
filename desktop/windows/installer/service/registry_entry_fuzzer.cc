// A registry template, the protocol being registered and the install
// folder, one per line, through the browser registration's variables: the
// expansion ends, what a variable supplies comes through as it is, and a
// row built from the template never names a registry root for deletion.

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/logging.h"
#include "desktop/windows/installer/service/browser_registration_expander.h"
#include "desktop/windows/installer/service/registry_entry.h"

namespace {

constexpr uint32_t kRegSz = 1;

// Each byte as one UTF-16 unit, so that every unit value below 256 and
// the braces meet the expansion.
string16 Widen(const std::string& text) {
  return string16(text.begin(), text.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Rejected input is logged as an error; thousands of them are only noise.
  base::SetMinLogLevel(base::LOG_FATAL);
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<string16> lines;
  size_t start = 0;
  while (lines.size() < 2) {
    const size_t end = input.find('\n', start);
    if (end == std::string::npos)
      break;
    lines.push_back(Widen(input.substr(start, end - start)));
    start = end + 1;
  }
  lines.push_back(Widen(input.substr(start)));
  while (lines.size() < 3)
    lines.push_back(string16());
  const string16& text = lines[0];

  installer::BrowserRegistrationExpander expander(lines[1], lines[2]);
  const installer::RegistryEntryRow value_row = {
      text.c_str(), text.c_str(), kRegSz, reinterpret_cast<uintptr_t>(text.c_str()),
      0, nullptr, 0, 1};
  const installer::RegistryEntry entry(value_row, &expander);
  entry.ExpandTemplate(text.c_str());
  CHECK(entry.ExpandTemplate(u"{Protocol}\\{InstallFolder}") ==
        lines[1] + u"\\" + lines[2]);

  installer::RegistryEntry::Change change;
  entry.BuildChange(nullptr, 10, 10, &change);

  installer::RegistryEntryRow delete_row = value_row;
  delete_row.type = installer::kRowDeleteKey;
  const installer::RegistryEntry deletion(delete_row, &expander);
  if (deletion.BuildChange(nullptr, 10, 10, &change) && change.delete_key)
    CHECK(change.key.find_first_not_of(u'\\') != string16::npos);
  return 0;
}
