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
  std::vector<string16> names;
  const string16& path = folder.value();
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || base::FilePath::IsSeparator(path[i])) {
      if (i > start)
        names.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  if (names.empty())
    return false;
  // The names that make up the root: a drive; a server and its share; or
  // behind the "?" or "." of a device path, a drive or volume, or "UNC", a
  // server and a share.
  const bool device = names[0] == u"?" || names[0] == u".";
  size_t root_names = IsDriveName(names[0]) ? 1 : 2;
  if (device && names.size() > 1 && IsUncMarker(names[1]))
    root_names = 4;
  for (size_t i = device ? 1 : 0; i < names.size(); ++i) {
    if (IsDotsAndSpaces(names[i]))
      return false;
  }
  return names.size() > root_names;
}

}  // namespace installer
