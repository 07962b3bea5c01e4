#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_LOG_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_LOG_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/strings/string16.h"

namespace base {
class FilePath;
}

namespace installer {

class XmlDocument;

// One registry value an installation wrote, all as text.
struct InstallLogRegistryValue {
  std::string type;  // "REG_SZ", "REG_DWORD", ...
  std::string name;  // UTF-8; empty for the key's default value
  std::string data;  // see RegistryDataText
};

// One key an installation wrote values under, below its hive.
struct InstallLogRegistryKey {
  int32_t clean = 0;  // the highest clean-up level of its values
  std::string path;   // UTF-8
  std::vector<InstallLogRegistryValue> values;  // in recording order
};

// What one installation put on the computer, kept as
// "installation_status.xml" in the install folder.
struct InstallLog {
  InstallLog();
  InstallLog(const InstallLog& other);
  InstallLog& operator=(const InstallLog& other);
  ~InstallLog();

  // Builds the document in `document` (created here) and writes its text
  // to `target`, replacing any earlier file. True when all of it was
  // written.
  static bool SaveToFile(XmlDocument* document, const InstallLog& log,
                         const base::FilePath& target);
  // Empties the four lists of `log`, then loads and reads `source`. True
  // only when every step succeeded; on false nothing of `log` may be used.
  static bool LoadFromFile(XmlDocument* document, InstallLog* log,
                           const base::FilePath& source);

  bool copy_only = false;
  bool all_users = true;
  bool pinned = false;
  std::string app_id;
  string16 path;
  string16 subfolder;
  std::string version;
  string16 desktop_shortcut;
  string16 menu_shortcut;
  string16 quick_launch_shortcut;
  std::vector<string16> files;
  std::vector<string16> root_files;
  std::vector<InstallLogRegistryKey> hklm_keys;
  std::vector<InstallLogRegistryKey> hkcu_keys;

 private:
  static bool Read(XmlDocument* document, InstallLog* log);
  static bool Write(XmlDocument* document, const InstallLog& log);
};

// The type that marks a removed value; recording it records nothing.
constexpr uint32_t kRegistryValueRemoved = 0xFFFFFFFF;

// Records one value written under `key_path` into `keys` (one hive's list):
// the key is found by its path without regard to ASCII case, newest first,
// or appended; its clean level rises to `clean` when that is higher. String
// data are zero-terminated UTF-16, a REG_DWORD's four bytes.
void RecordRegistryValue(std::vector<InstallLogRegistryKey>* keys,
                         const string16& key_path, const string16& value_name,
                         const void* data, uint32_t type, uint32_t size,
                         int32_t clean);

// Text rules of the file format, shared by the reader and the writer.

// "REG_NONE" to "REG_QWORD" for the types 0 to 11; empty for any other.
const char* RegistryTypeName(uint32_t type);
// A value's data as the log keeps it: strings in UTF-8, binary bytes as
// "01,ab", a DWORD as eight hexadecimal digits, every other type empty.
// Never reads past `size` bytes.
std::string RegistryDataText(const void* data, uint32_t type, uint32_t size);
// "True" or "False"; only the exact text "True" reads back as true.
const char* InstallLogFlagText(bool flag);
bool ParseInstallLogFlag(const std::string& text);
// A text bound for a wide field: converted to UTF-16, trimmed of Unicode
// whitespace at both ends and cut at its first zero character.
string16 InstallLogWideField(const std::string& utf8);
// A value's data text trimmed of ASCII whitespace at both ends.
std::string TrimRegistryDataText(const std::string& text);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_LOG_H_
