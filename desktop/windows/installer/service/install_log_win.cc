#include "desktop/windows/installer/service/install_log.h"

#include "base/files/file_path.h"
#include "base/files/important_file_writer.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/win/xml_document.h"

namespace installer {

namespace {

constexpr char kInstallLogElement[] = "install_log";
constexpr char kPathElement[] = "path";
constexpr char kFilesElement[] = "files";
constexpr char kRootFilesElement[] = "root_files";
constexpr char kFileElement[] = "file";
constexpr char kRegistryElement[] = "registry";
constexpr char kKeyElement[] = "key";
constexpr char kValueElement[] = "value";
constexpr char kShortcutElement[] = "shortcut";

constexpr char kHklm[] = "HKLM";
constexpr char kHkcu[] = "HKCU";

constexpr char kDesktop[] = "SC_DEST_DESKTOP";
constexpr char kCommonDesktop[] = "SC_DEST_COMMON_DESKTOP";
constexpr char kMenu[] = "SC_DEST_MENU";
constexpr char kCommonMenu[] = "SC_DEST_COMMON_MENU";
constexpr char kQuickLaunch[] = "SC_DEST_QUICK_LAUNCH";

// Reading.

bool IsElement(XmlDocument* document, const char* name) {
  std::string node_name;
  return document->GetNodeName(&node_name) && node_name == name;
}

bool ReadWideText(XmlDocument* document, string16* out) {
  std::string text;
  if (!document->GetText(&text))
    return false;
  *out = InstallLogWideField(text);
  return true;
}

// The cursor on the next sibling element: 1 when moved, 0 when there is
// none, -1 on failure.
int NextElement(XmlDocument* document) {
  switch (document->MoveToNextSiblingElement()) {
    case XML_MOVED:
      return 1;
    case XML_NOT_FOUND:
      return 0;
    default:
      return -1;
  }
}

// Reads the `file` children of the element under the cursor into `list`
// and returns the cursor to that element. At least one child is required.
bool ReadFileList(XmlDocument* document, std::vector<string16>* list) {
  if (document->MoveToFirstChildElement() != XML_MOVED)
    return false;
  int next = 1;
  while (next == 1) {
    string16 file;
    if (!IsElement(document, kFileElement) || !ReadWideText(document, &file))
      return false;
    list->push_back(std::move(file));
    next = NextElement(document);
  }
  return next == 0 && document->MoveToParent() == XML_MOVED;
}

bool ReadPath(XmlDocument* document, InstallLog* log) {
  if (document->MoveToFirstChildElement() != XML_MOVED ||
      !IsElement(document, kPathElement)) {
    return false;
  }
  std::string subfolder;
  if (document->GetAttribute("subfolder", &subfolder))
    log->subfolder = InstallLogWideField(subfolder);
  return ReadWideText(document, &log->path);
}

bool ReadFiles(XmlDocument* document, InstallLog* log) {
  return NextElement(document) == 1 && IsElement(document, kFilesElement) &&
         ReadFileList(document, &log->files);
}

bool ReadRootFiles(XmlDocument* document, InstallLog* log) {
  return ReadFileList(document, &log->root_files);
}

bool ReadRegistryValue(XmlDocument* document, InstallLogRegistryKey* key) {
  InstallLogRegistryValue value;
  std::string data;
  if (!IsElement(document, kValueElement) ||
      !document->GetAttribute("name", &value.name) ||
      !document->GetAttribute("type", &value.type) ||
      !document->GetText(&data)) {
    return false;
  }
  value.data = TrimRegistryDataText(data);
  key->values.push_back(std::move(value));
  return true;
}

bool ReadRegistryKey(XmlDocument* document,
                     std::vector<InstallLogRegistryKey>* keys) {
  InstallLogRegistryKey key;
  std::string clean;
  if (!IsElement(document, kKeyElement) ||
      !document->GetAttribute("path", &key.path) ||
      !document->GetAttribute("clean", &clean) ||
      !base::StringToInt(clean, &key.clean)) {
    return false;
  }
  switch (document->MoveToFirstChildElement()) {
    case XML_MOVED:
      break;
    case XML_NOT_FOUND:
      keys->push_back(std::move(key));
      return true;
    default:
      return false;
  }
  int next = 1;
  while (next == 1) {
    if (!ReadRegistryValue(document, &key))
      return false;
    next = NextElement(document);
  }
  if (next != 0 || document->MoveToParent() != XML_MOVED)
    return false;
  keys->push_back(std::move(key));
  return true;
}

bool ReadRegistry(XmlDocument* document, InstallLog* log) {
  std::string hive;
  if (!document->GetAttribute("hive", &hive))
    return false;
  std::vector<InstallLogRegistryKey>* keys;
  if (hive == kHklm)
    keys = &log->hklm_keys;
  else if (hive == kHkcu)
    keys = &log->hkcu_keys;
  else
    return false;
  if (document->MoveToFirstChildElement() != XML_MOVED)
    return false;
  int next = 1;
  while (next == 1) {
    if (!ReadRegistryKey(document, keys))
      return false;
    next = NextElement(document);
  }
  return next == 0 && document->MoveToParent() == XML_MOVED;
}

bool ReadShortcuts(XmlDocument* document, InstallLog* log) {
  std::string type;
  string16 path;
  if (!document->GetAttribute("type", &type) ||
      !ReadWideText(document, &path)) {
    return false;
  }
  if (type == kDesktop || type == kCommonDesktop)
    log->desktop_shortcut = path;
  else if (type == kMenu || type == kCommonMenu)
    log->menu_shortcut = path;
  else if (type == kQuickLaunch)
    log->quick_launch_shortcut = path;
  else
    return false;
  return true;
}

// Writing.

bool WriteTextElement(XmlDocument* document, const char* name,
                      const std::string& text) {
  return document->BeginElement(name) && document->AddText(text) &&
         document->EndElement();
}

bool WritePath(XmlDocument* document, const InstallLog& log) {
  return document->BeginElement(kPathElement) &&
         document->AddAttribute("subfolder", base::UTF16ToUTF8(log.subfolder)) &&
         document->AddText(base::UTF16ToUTF8(log.path)) &&
         document->EndElement();
}

bool WriteFileList(XmlDocument* document, const char* name,
                   const std::vector<string16>& files) {
  if (!document->BeginElement(name))
    return false;
  for (const string16& file : files) {
    if (!WriteTextElement(document, kFileElement, base::UTF16ToUTF8(file)))
      return false;
  }
  return document->EndElement();
}

bool WriteFiles(XmlDocument* document, const InstallLog& log) {
  return WriteFileList(document, kFilesElement, log.files);
}

bool WriteRootFiles(XmlDocument* document, const InstallLog& log) {
  return log.root_files.empty() ||
         WriteFileList(document, kRootFilesElement, log.root_files);
}

bool WriteRegistryValue(XmlDocument* document,
                        const InstallLogRegistryValue& value) {
  return document->BeginElement(kValueElement) &&
         document->AddAttribute("name", value.name) &&
         document->AddAttribute("type", value.type) &&
         document->AddText(value.data) && document->EndElement();
}

bool WriteRegistryKey(XmlDocument* document, const InstallLogRegistryKey& key) {
  if (!document->BeginElement(kKeyElement) ||
      !document->AddAttribute("path", key.path) ||
      !document->AddAttribute("clean", base::IntToString(key.clean))) {
    return false;
  }
  for (const InstallLogRegistryValue& value : key.values) {
    if (!WriteRegistryValue(document, value))
      return false;
  }
  return document->EndElement();
}

bool WriteRegistry(XmlDocument* document, const char* hive,
                   const std::vector<InstallLogRegistryKey>& keys) {
  if (keys.empty())
    return true;
  if (!document->BeginElement(kRegistryElement) ||
      !document->AddAttribute("hive", hive)) {
    return false;
  }
  for (const InstallLogRegistryKey& key : keys) {
    if (!WriteRegistryKey(document, key))
      return false;
  }
  return document->EndElement();
}

bool WriteShortcut(XmlDocument* document, const char* type,
                   const string16& path) {
  return path.empty() ||
         (document->BeginElement(kShortcutElement) &&
          document->AddAttribute("type", type) &&
          document->AddText(base::UTF16ToUTF8(path)) &&
          document->EndElement());
}

bool WriteShortcuts(XmlDocument* document, const InstallLog& log) {
  return WriteShortcut(document, log.all_users ? kCommonDesktop : kDesktop,
                       log.desktop_shortcut) &&
         WriteShortcut(document, log.all_users ? kCommonMenu : kMenu,
                       log.menu_shortcut) &&
         WriteShortcut(document, kQuickLaunch, log.quick_launch_shortcut);
}

}  // namespace

// static
bool InstallLog::SaveToFile(XmlDocument* document, const InstallLog& log,
                            const base::FilePath& target) {
  std::string text;
  if (!document->Create() || !document->MoveToDocument() ||
      !Write(document, log) || !document->SerializePretty(&text)) {
    return false;
  }
  // Through a temporary file moved over the target: an interrupted save
  // must not leave a truncated log, which would hide the installation from
  // a later upgrade or uninstall.
  return base::ImportantFileWriter::WriteFileAtomically(target, text);
}

// static
bool InstallLog::LoadFromFile(XmlDocument* document, InstallLog* log,
                              const base::FilePath& source) {
  log->files.clear();
  log->root_files.clear();
  log->hklm_keys.clear();
  log->hkcu_keys.clear();
  return document->LoadFile(source.value()) && Read(document, log);
}

// static
bool InstallLog::Read(XmlDocument* document, InstallLog* log) {
  std::string copy_only;
  std::string all_users;
  std::string pinned;
  if (document->MoveToFirstChildElement() != XML_MOVED ||
      !IsElement(document, kInstallLogElement) ||
      !document->GetAttribute("version", &log->version)) {
    return false;
  }
  std::string app_id;
  if (document->GetAttribute("app_id", &app_id))
    log->app_id = app_id;
  if (!document->GetAttribute("copy_only", &copy_only) ||
      !document->GetAttribute("all_users", &all_users) ||
      !document->GetAttribute("pinned", &pinned)) {
    return false;
  }
  log->copy_only = ParseInstallLogFlag(copy_only);
  log->all_users = ParseInstallLogFlag(all_users);
  log->pinned = ParseInstallLogFlag(pinned);

  if (!ReadPath(document, log) || !ReadFiles(document, log))
    return false;

  int next = NextElement(document);
  if (next == 1 && IsElement(document, kRootFilesElement)) {
    if (!ReadRootFiles(document, log))
      return false;
    next = NextElement(document);
  }
  while (next == 1 && IsElement(document, kRegistryElement)) {
    if (!ReadRegistry(document, log))
      return false;
    next = NextElement(document);
  }
  while (next == 1 && IsElement(document, kShortcutElement)) {
    if (!ReadShortcuts(document, log))
      return false;
    next = NextElement(document);
  }
  // Anything left is an element out of place, or a failed move.
  return next == 0;
}

// static
bool InstallLog::Write(XmlDocument* document, const InstallLog& log) {
  if (!document->BeginElement(kInstallLogElement) ||
      !document->AddAttribute("version", log.version) ||
      !document->AddAttribute("copy_only", InstallLogFlagText(log.copy_only)) ||
      !document->AddAttribute("all_users", InstallLogFlagText(log.all_users)) ||
      !document->AddAttribute("pinned", InstallLogFlagText(log.pinned)) ||
      !document->AddAttribute("app_id", log.app_id)) {
    return false;
  }
  if (!WritePath(document, log) || !WriteFiles(document, log) ||
      !WriteRootFiles(document, log) ||
      !WriteRegistry(document, kHklm, log.hklm_keys) ||
      !WriteRegistry(document, kHkcu, log.hkcu_keys) ||
      !WriteShortcuts(document, log)) {
    return false;
  }
  // The root has no parent element to return to, so ending it reports
  // false by design; that is the end of the document, not a failure.
  document->EndElement();
  return true;
}

}  // namespace installer
