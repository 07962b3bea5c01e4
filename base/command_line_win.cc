#include "base/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "base/strings/string_util.h"

namespace base {

void CommandLine::ParseCurrentProcessCommandLine() {
  ParseFromString(as_u16cstr(::GetCommandLineW()));
}

void CommandLine::InitFromArgv(int argc, const wchar_t* const* argv) {
  std::vector<string16> items;
  if (argv && argc > 0) {
    items.reserve(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i)
      items.push_back(argv[i] ? string16(as_u16cstr(argv[i])) : string16());
  }
  InitFromArgvVector(items);
}

void CommandLine::ParseFromString(const string16& command_line) {
  string16 trimmed;
  TrimString16(command_line, kWhitespaceUTF16, &trimmed);
  if (trimmed.empty())
    return;

  int count = 0;
  wchar_t** items = ::CommandLineToArgvW(as_wcstr(trimmed), &count);
  // A text that cannot be split leaves an empty command line.
  InitFromArgv(items ? count : 0, items);
  ::LocalFree(items);
}

}  // namespace base
