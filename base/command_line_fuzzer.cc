// Any units as the items of a command line: parsing stays inside them, the
// text written for a child holds no NUL, and parsing what was parsed again
// gives the same command line, so a child sees what this process saw.

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "base/command_line.h"
#include "base/logging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A program holding a quote is refused with an error line; thousands of
  // them would only fill the log.
  base::SetMinLogLevel(base::LOG_FATAL);

  // Little-endian units; 0xFFFF separates items, so NULs stay inside them.
  std::vector<string16> items(1);
  for (size_t i = 0; i + 1 < size; i += 2) {
    const char16 unit = static_cast<char16>(data[i] | (data[i + 1] << 8));
    if (unit == 0xFFFF)
      items.emplace_back();
    else
      items.back().push_back(unit);
  }

  base::CommandLine line;
  line.InitFromArgvVector(items);
  const string16 text = line.GetCommandLineString();
  CHECK_EQ(string16::npos, text.find(char16(0)));

  base::CommandLine again;
  again.AppendArguments(line, true);
  CHECK(again.GetCommandLineString() == text);

  // Lookups of every item's own text stay inside it.
  for (const string16& item : items) {
    const std::string narrow(item.begin(), item.end());
    line.HasSwitch(narrow.c_str());
    line.GetSwitchValueASCII(narrow);
  }
  return 0;
}
