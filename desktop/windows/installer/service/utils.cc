#include "desktop/windows/installer/service/utils.h"

#include <stddef.h>

#include "base/channel.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/branding.h"

namespace installer {

namespace {

constexpr size_t kMaxFolderPathLength = 248;
constexpr size_t kMaxFilePathLength = 260;

bool IsSeparator(char16 c) {
  return c == u'\\' || c == u'/';
}

// Finds the next separator at or after |start|; |path|'s size when none.
size_t FindSeparator(base::StringPiece16 path, size_t start) {
  while (start < path.size() && !IsSeparator(path[start]))
    ++start;
  return start;
}

char16 ToUpperASCII(char16 c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16>(c - u'a' + u'A')
                                  : c;
}

bool IsDeviceName(base::StringPiece16 stem) {
  static const char* const kDevices[] = {"CON",  "AUX",  "COM1", "COM2",
                                         "COM3", "COM4", "LPT1", "LPT2",
                                         "LPT3", "PRN",  "NUL"};
  for (const char* device : kDevices) {
    size_t i = 0;
    while (device[i] && i < stem.size() &&
           ToUpperASCII(stem[i]) == static_cast<char16>(device[i])) {
      ++i;
    }
    if (!device[i] && i == stem.size())
      return true;
  }
  return false;
}

bool IsValidComponent(base::StringPiece16 component) {
  for (char16 c : component) {
    // A NUL would cut the path short at the system boundary.
    if (c < 32)
      return false;
    switch (c) {
      case u'?':
      case u'"':
      case u'<':
      case u'>':
      case u'*':
      case u'|':
      case u':':
        return false;
      default:
        break;
    }
  }
  if (component.empty())
    return true;
  if (component[0] == u' ')
    return false;
  char16 last = component[component.size() - 1];
  if (last == u' ' || last == u'.')
    return false;
  size_t dot = component.find(u'.');
  base::StringPiece16 stem =
      dot == base::StringPiece16::npos ? component : component.substr(0, dot);
  if ((stem.size() == 3 || stem.size() == 4) && IsDeviceName(stem))
    return false;
  return true;
}

// Where the components of a UNC path begin: behind "\\server\share\".
// npos when the server or the share is missing or nothing follows the share.
size_t SkipUncRoot(base::StringPiece16 path) {
  size_t server_end = FindSeparator(path, 2);
  if (server_end == 2 || server_end >= path.size())
    return base::StringPiece16::npos;
  size_t share_end = FindSeparator(path, server_end + 1);
  if (share_end == server_end + 1 || share_end >= path.size())
    return base::StringPiece16::npos;
  return share_end + 1;
}

}  // namespace

bool IsValidFolderPath(base::StringPiece16 path, bool is_folder) {
  if (path.empty())
    return false;
  if (path.size() >= (is_folder ? kMaxFolderPathLength : kMaxFilePathLength))
    return false;

  size_t start = 0;
  if (path.size() >= 2 && path[1] == u':') {
    start = 2;
  } else if (path.size() >= 2 && IsSeparator(path[0]) &&
             IsSeparator(path[1])) {
    start = SkipUncRoot(path);
    if (start == base::StringPiece16::npos)
      return false;
  }

  while (start <= path.size()) {
    size_t end = FindSeparator(path, start);
    if (!IsValidComponent(path.substr(start, end - start)))
      return false;
    start = end + 1;
  }
  return true;
}

void MakeKernelObjectName(string16* out,
                          base::StringPiece16 name,
                          base::StringPiece16 prefix,
                          bool global) {
  string16 object_name = prefix.as_string();
  object_name += u'/';
  object_name.append(name.data(), name.size());
  for (char16& c : object_name) {
    if (c == u'\\')
      c = u'/';
  }
  *out = global ? u"Global\\" : u"Local\\";
  *out += object_name;
}

std::string GetBrowserExeName() {
  return Branding::GetFileNameBase() + ".exe";
}

std::string GetChannelName() {
  switch (base::GetChannel()) {
    case base::kChannelNightly:
      return "Nightly";
    case base::kChannelDeveloper:
      return "Developer";
    case base::kChannelNext:
      return "Next";
    case base::kChannelStable:
      return "Stable";
    default:
      return GetStream();
  }
}

string16 GetCompanyRegistryKey() {
  // The branding is UTF-8: decode it rather than widening byte by byte, which
  // would give a different key for any name beyond ASCII.
  return u"Software\\" + base::UTF8ToUTF16(Branding::GetCompanyName());
}

}  // namespace installer
