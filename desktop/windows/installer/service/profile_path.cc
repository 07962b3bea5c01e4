#include "desktop/windows/installer/service/profile_path.h"

#include <vector>

namespace installer {

namespace {

bool IsDriveName(const string16& name) {
  return name.size() == 2 && name[1] == u':' &&
         ((name[0] >= u'a' && name[0] <= u'z') ||
          (name[0] >= u'A' && name[0] <= u'Z'));
}

// Windows drops trailing dots and spaces, so such a name is "." or "..".
bool IsDotsAndSpaces(const string16& name) {
  return name.find_first_not_of(u". ") == string16::npos;
}

bool IsUncMarker(const string16& name) {
  return name.size() == 3 && (name[0] | 0x20) == u'u' &&
         (name[1] | 0x20) == u'n' && (name[2] | 0x20) == u'c';
}

bool IsDevicePrefix(const string16& name) {
  return name == u"?" || name == u".";
}

// "Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", any case.
bool IsVolumeGuidName(const string16& name) {
  static const char16 kPrefix[] = u"volume{";
  const size_t prefix_length = 7;
  if (name.size() != prefix_length + 37 || name.back() != u'}')
    return false;
  for (size_t i = 0; i < prefix_length; ++i) {
    if ((name[i] | 0x20) != kPrefix[i])
      return false;
  }
  for (size_t k = 0; k < 36; ++k) {
    const char16 c = name[prefix_length + k] | 0x20;
    const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
    if ((k == 8 || k == 13 || k == 18 || k == 23) ? c != u'-' : !hex)
      return false;
  }
  return true;
}

std::vector<string16> SplitNames(const string16& path) {
  std::vector<string16> names;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || base::FilePath::IsSeparator(path[i])) {
      if (i > start)
        names.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return names;
}

// How many of the leading |names| of an absolute path make up its root: a
// drive; a server and its share; or behind the "?" or "." of a device path,
// a drive, a volume, or "UNC", a server and a share. 0 for any other device
// path (GLOBALROOT and the like name devices, not folders).
size_t CountRootNames(const std::vector<string16>& names) {
  if (names.empty())
    return 0;
  if (IsDriveName(names[0]))
    return 1;
  if (!IsDevicePrefix(names[0]))
    return 2;
  if (names.size() < 2)
    return 0;
  if (IsDriveName(names[1]) || IsVolumeGuidName(names[1]))
    return 2;
  return IsUncMarker(names[1]) ? 4 : 0;
}

}  // namespace

const char16 kUserNamePlaceholder[] = u"<USERNAME>";

std::string ExpandDefaultProfilePath(const std::string& path_template,
                                     const std::string& channel_name) {
  static const char kStream[] = "{InternalStream}";
  const size_t stream_length = sizeof(kStream) - 1;
  std::string path;
  size_t start = 0;
  for (size_t found = path_template.find(kStream); found != std::string::npos;
       found = path_template.find(kStream, start)) {
    path.append(path_template, start, found - start);
    path += channel_name;
    start = found + stream_length;
  }
  path.append(path_template, start, std::string::npos);
  for (char& c : path) {
    if (c == '/')
      c = '\\';
  }
  return path;
}

string16 ReplaceUserNamePlaceholder(const string16& profile_path,
                                    const string16& user_name) {
  string16 path = profile_path;
  const string16 placeholder = kUserNamePlaceholder;
  size_t found = path.find(placeholder);
  if (found != string16::npos)
    path.replace(found, placeholder.size(), user_name);
  return path;
}

bool IsUserNameInLastComponent(const string16& profile_path) {
  const string16 placeholder = kUserNamePlaceholder;
  size_t found = profile_path.find(placeholder);
  if (found == string16::npos)
    return false;
  size_t separator =
      profile_path.find_first_of(u"\\/", found + placeholder.size());
  // A trailing separator still leaves the placeholder in the last component.
  return separator == string16::npos || separator + 1 == profile_path.size();
}

bool IsFolderBelowVolumeRoot(const base::FilePath& folder) {
  if (!folder.IsAbsolute())
    return false;
  const std::vector<string16> names = SplitNames(folder.value());
  const size_t root_names = CountRootNames(names);
  if (!root_names)
    return false;
  for (size_t i = IsDevicePrefix(names[0]) ? 1 : 0; i < names.size(); ++i) {
    if (IsDotsAndSpaces(names[i]))
      return false;
  }
  return names.size() > root_names;
}

string16 GetVolumeRoot(const base::FilePath& path) {
  if (!path.IsAbsolute())
    return string16();
  const std::vector<string16> names = SplitNames(path.value());
  const size_t root_names = CountRootNames(names);
  if (!root_names || names.size() < root_names)
    return string16();
  string16 root = IsDriveName(names[0]) ? string16() : string16(u"\\\\");
  for (size_t i = 0; i < root_names; ++i)
    root += names[i] + u"\\";
  return root;
}

}  // namespace installer
