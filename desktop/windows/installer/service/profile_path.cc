#include "desktop/windows/installer/service/profile_path.h"

namespace installer {

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

}  // namespace installer
