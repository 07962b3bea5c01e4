#include "desktop/windows/installer/service/default_browser_win.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/branding.h"
#include "desktop/windows/installer/service/browser_registration_expander.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/registry_entry.h"
#include "desktop/windows/installer/service/transactions/operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

using Version = base::win::OSInfo::Version;

const char16 kHttp[] = u"http";
const char16 kHttps[] = u"https";
const wchar_t kStartMenuInternetKey[] = L"Software\\Clients\\StartMenuInternet";
const wchar_t kStartMenuInternetClient[] = L"StartmenuInternet";

// Our own copies: the import libraries do not carry every one of them.
const CLSID kApplicationAssociationRegistrationClass = {
    0x591209c7, 0x767b, 0x42b2, {0x9f, 0xba, 0x44, 0xee, 0x46, 0x15, 0xf2, 0xc7}};
const IID kApplicationAssociationRegistrationId = {
    0x4e530b0a, 0xe611, 0x4c77, {0xa3, 0xac, 0x90, 0x31, 0xd0, 0x22, 0x28, 0x1b}};
const CLSID kApplicationActivationManagerClass = {
    0x45ba127d, 0x10a8, 0x46ea, {0x8a, 0xb7, 0x56, 0xea, 0x90, 0x78, 0x94, 0x3c}};
const IID kApplicationActivationManagerId = {
    0x2e941141, 0x7f97, 0x4756, {0xba, 0x1d, 0x9d, 0xec, 0xde, 0x89, 0x4a, 0x3d}};

DefaultProgramsPlatform* g_platform_for_testing = nullptr;

constexpr int32_t kXP = base::win::OSInfo::VERSION_XP;
constexpr int32_t kVista = base::win::OSInfo::VERSION_VISTA;
const HKEY kAnyRoot = nullptr;

uint64_t Text(const char16* text) {
  return reinterpret_cast<uint64_t>(text);
}

#define PROG_ID_KEY u"Software\\Classes\\{Product}{Stream}"
#define PROTOCOL_KEY u"Software\\Classes\\{Protocol}"

const RegistryEntryRow kProgIdRows[] = {
    {PROG_ID_KEY, u"FriendlyTypeName", REG_SZ, Text(u"{Product} Web Document"),
     kXP, kAnyRoot, 0, 1},
    {PROG_ID_KEY, u"URL Protocol", REG_SZ, 0, kXP, kAnyRoot, 0, 1},
    {PROG_ID_KEY u"\\DefaultIcon", nullptr, REG_SZ,
     Text(u"{InstallFolder}\\Launcher.exe,0"), kXP, kAnyRoot, 0, 1},
    {PROG_ID_KEY u"\\shell\\open\\command", nullptr, REG_SZ,
     Text(u"\"{InstallFolder}\\Launcher.exe\" -noautoupdate -- \"%1\""), kXP,
     kAnyRoot, 0, 2},
    {PROG_ID_KEY u"\\shell\\open\\ddeexec", nullptr, kRowDeleteKey, 0, kXP,
     HKEY_LOCAL_MACHINE, 0, 0},
    {PROG_ID_KEY u"\\shell\\open\\ddeexec", nullptr, REG_SZ, 0, kXP,
     HKEY_CURRENT_USER, 0, 2},
    {PROG_ID_KEY u"\\shell\\open\\ddeexec\\Application", nullptr, REG_SZ, 0,
     kXP, HKEY_CURRENT_USER, 0, 1},
    {PROG_ID_KEY u"\\shell\\open\\ddeexec\\Topic", nullptr, REG_SZ, 0, kXP,
     HKEY_CURRENT_USER, 0, 1},
};

// The last row removes the user's own choice and is left out where the
// shell keeps that choice itself.
const RegistryEntryRow kProtocolRows[] = {
    {PROTOCOL_KEY, u"EditFlags", REG_DWORD, 2, kXP, kAnyRoot, 0, 0},
    {PROTOCOL_KEY, u"URL Protocol", REG_SZ, 0, kXP, kAnyRoot, 0, 0},
    {PROTOCOL_KEY u"\\DefaultIcon", nullptr, REG_SZ,
     Text(u"{InstallFolder}\\Launcher.exe,0"), kXP, kAnyRoot, 0, 0},
    {PROTOCOL_KEY u"\\shell\\open\\command", nullptr, REG_SZ,
     Text(u"\"{InstallFolder}\\launcher.exe\" -noautoupdate -- \"%1\""), kXP,
     kAnyRoot, 0, 0},
    {PROTOCOL_KEY u"\\shell\\open\\ddeexec", nullptr, kRowDeleteKey, 0, kXP,
     HKEY_LOCAL_MACHINE, 0, 0},
    {PROTOCOL_KEY u"\\shell\\open\\ddeexec", nullptr, REG_SZ, 0, kXP,
     HKEY_CURRENT_USER, 0, 0},
    {PROTOCOL_KEY u"\\shell\\open\\ddeexec\\Application", nullptr, REG_SZ, 0,
     kXP, HKEY_CURRENT_USER, 0, 0},
    {PROTOCOL_KEY u"\\shell\\open\\ddeexec\\Topic", nullptr, REG_SZ, 0, kXP,
     HKEY_CURRENT_USER, 0, 0},
    {u"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\"
     u"{Protocol}\\UserChoice",
     u"Progid", kRowRemoveValue, 0, kVista, HKEY_CURRENT_USER, 0, 0},
};

const RegistryEntryRow kExtensionRows[] = {
    {u"Software\\Classes\\{Extension}", nullptr, REG_SZ,
     Text(u"{Product}{Stream}"), kXP, kAnyRoot, 0, 0},
    {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\"
     u"{Extension}\\UserChoice",
     u"Progid", kRowRemoveValue, 0, kVista, HKEY_CURRENT_USER, 0, 0},
};

const RegistryEntryRow kStartMenuInternetRow = {
    u"Software\\Clients\\StartMenuInternet", nullptr, REG_SZ,
    Text(u"{Product}{Stream}"), kXP, kAnyRoot, 0, 0};

#undef PROG_ID_KEY
#undef PROTOCOL_KEY

// The further entries that MakeDefaultBrowser registers before Windows 8,
// after "http".
const char16* const kFurtherHandlers[] = {
    u"https", u"ftp",   u".crx",  u".htm",  u".html", u".pvx",
    u".pvdownload", u".shtml", u".xht", u".xhtml"};

const wchar_t kSettingsAppId[] =
    L"windows.immersivecontrolpanel_cw5n1h2txyewy"
    L"!microsoft.windows.immersivecontrolpanel";
const wchar_t kDefaultAppsPage[] = L"page=SettingsPageAppsDefaults";

// Writes |count| rows under |root| in one transaction: all or nothing.
bool WriteRows(const RegistryEntryRow* rows,
               size_t count,
               HKEY root,
               VariableExpander* expander) {
  Transaction transaction;
  for (size_t i = 0; i < count; ++i) {
    Operation* op = nullptr;
    const bool created = RegistryEntry(rows[i], expander).CreateOperation(root, &op);
    if (!created) {
      delete op;
      transaction.Rollback();
      return false;
    }
    if (op && !transaction.AddAndExecute(op)) {
      transaction.Rollback();
      return false;
    }
  }
  return true;
}

// Makes this installation the default for |set| through the shell's
// association registration.
bool SetAppAsDefault(const string16& app_name,
                     const wchar_t* set,
                     ASSOCIATIONTYPE type) {
  IApplicationAssociationRegistration* registration = nullptr;
  if (FAILED(GetDefaultProgramsPlatform()->CreateAssociationRegistration(
          &registration)) ||
      !registration) {
    return false;
  }
  const HRESULT result =
      registration->SetAppAsDefault(as_wcstr(app_name), set, type);
  registration->Release();
  return SUCCEEDED(result);
}

// Opens the Default apps page of the Settings app for the user to choose.
bool OpenDefaultAppsSettings() {
  IApplicationActivationManager* manager = nullptr;
  if (FAILED(GetDefaultProgramsPlatform()->CreateActivationManager(&manager)) ||
      !manager) {
    return false;
  }
  ::CoAllowSetForegroundWindow(manager, nullptr);
  DWORD process_id = 0;
  const HRESULT result = manager->ActivateApplication(
      kSettingsAppId, kDefaultAppsPage, AO_NONE, &process_id);
  manager->Release();
  return SUCCEEDED(result);
}

HKEY RootFor(bool machine) {
  return machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool IsExtension(const string16& name) {
  return !name.empty() && name[0] == u'.';
}

// The ProgId the user chose in the shell for |name|: false when it cannot be
// read, an empty |prog_id| when no choice is stored.
bool ReadUserChoice(const string16& name, bool is_extension, string16* prog_id) {
  const string16 key = string16(u"Software\\Microsoft\\Windows\\") +
                       (is_extension
                            ? u"CurrentVersion\\Explorer\\FileExts\\"
                            : u"Shell\\Associations\\UrlAssociations\\") +
                       name + u"\\UserChoice";
  base::win::RegKey user_choice;
  if (user_choice.Open(HKEY_CURRENT_USER, as_wcstr(key), KEY_QUERY_VALUE) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::wstring value;
  const LONG result = user_choice.ReadValue(L"ProgId", &value);
  if (result == ERROR_FILE_NOT_FOUND) {
    prog_id->clear();
    return true;
  }
  if (result != ERROR_SUCCESS)
    return false;
  *prog_id = as_u16cstr(value.c_str());
  return true;
}

// The default value of |key| under |root|.
bool ReadDefaultValue(HKEY root, const string16& key, string16* value) {
  base::win::RegKey reg_key;
  if (reg_key.Open(root, as_wcstr(key), KEY_QUERY_VALUE) != ERROR_SUCCESS)
    return false;
  std::wstring text;
  if (reg_key.ReadValue(nullptr, &text) != ERROR_SUCCESS)
    return false;
  *value = as_u16cstr(text.c_str());
  return true;
}

// The class key of |name| (a ProgId or an extension) for the given scope.
void ClassKeyFor(bool machine, const string16& name, HKEY* root,
                 string16* key) {
  *root = machine ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
  *key = machine ? u"SOFTWARE\\Classes\\" + name : name;
}

string16 LowerCase(string16 text) {
  if (!text.empty()) {
    ::CharLowerBuffW(as_writable_wcstr(&text[0]),
                     static_cast<DWORD>(text.size()));
  }
  return text;
}

// Reads the default value of the Start-menu internet client key.
LONG ReadStartMenuInternet(HKEY root, std::wstring* value) {
  base::win::RegKey key;
  const LONG result = key.Open(root, kStartMenuInternetKey, KEY_QUERY_VALUE);
  if (result != ERROR_SUCCESS)
    return result;
  return key.ReadValue(nullptr, value);
}

}  // namespace

DefaultProgramsPlatform::~DefaultProgramsPlatform() = default;

Version DefaultProgramsPlatform::GetVersion() {
  return base::win::GetVersion();
}

HRESULT DefaultProgramsPlatform::CreateAssociationRegistration(
    IApplicationAssociationRegistration** registration) {
  return ::CoCreateInstance(kApplicationAssociationRegistrationClass, nullptr,
                            CLSCTX_INPROC_SERVER,
                            kApplicationAssociationRegistrationId,
                            reinterpret_cast<void**>(registration));
}

HRESULT DefaultProgramsPlatform::CreateActivationManager(
    IApplicationActivationManager** manager) {
  return ::CoCreateInstance(kApplicationActivationManagerClass, nullptr,
                            CLSCTX_ALL, kApplicationActivationManagerId,
                            reinterpret_cast<void**>(manager));
}

HRESULT DefaultProgramsPlatform::ShowOpenWithDialog(const OPENASINFO& info) {
  return ::SHOpenWithDialog(nullptr, &info);
}

void DefaultProgramsPlatform::NotifyAssociationChanged() {
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

DefaultProgramsPlatform* GetDefaultProgramsPlatform() {
  static DefaultProgramsPlatform system_platform;
  return g_platform_for_testing ? g_platform_for_testing : &system_platform;
}

void SetDefaultProgramsPlatformForTesting(DefaultProgramsPlatform* platform) {
  g_platform_for_testing = platform;
}

bool GetDefaultHandlerCommand(const string16& name,
                              bool machine,
                              string16* command) {
  const bool is_extension = IsExtension(name);
  string16 prog_id;
  if (!machine &&
      GetDefaultProgramsPlatform()->GetVersion() >=
          base::win::OSInfo::VERSION_VISTA &&
      !ReadUserChoice(name, is_extension, &prog_id)) {
    return false;
  }
  HKEY root;
  string16 key;
  if (prog_id.empty()) {
    if (is_extension) {
      ClassKeyFor(machine, name, &root, &key);
      if (!ReadDefaultValue(root, key, &prog_id))
        return false;
    } else {
      prog_id = name;
    }
  }
  // An empty ProgId would name the command of the classes root itself.
  if (prog_id.empty())
    return false;
  ClassKeyFor(machine, prog_id + u"\\shell\\open\\command", &root, &key);
  return ReadDefaultValue(root, key, command);
}

bool StorePreviousDefaultBrowser(const string16& command, bool machine) {
  base::win::RegKey key;
  if (key.Create(RootFor(machine), as_wcstr(GetCompanyRegistryKey()),
                 KEY_SET_VALUE) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD size = static_cast<DWORD>((command.size() + 1) * sizeof(char16));
  return ::RegSetValueExW(key.Handle(), L"Previous Default Browser", 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(command.c_str()),
                          size) == ERROR_SUCCESS;
}

bool Installation::IsDefaultHandlerFor(const string16& name, bool by_exe_name) {
  // Without a folder the program's bare name would match any copy's.
  string16 command;
  if (!HasInstallFolder() || !GetDefaultHandlerCommand(name, false, &command))
    return false;
  const base::FilePath program = install_folder_.Append(
      by_exe_name ? base::UTF8ToUTF16(GetBrowserExeName()) : u"launcher.exe");
  return LowerCase(command).find(LowerCase(program.value())) != string16::npos;
}

bool Installation::IsDefaultBrowser() {
  if (!IsDefaultHandlerFor(kHttp, false) || !IsDefaultHandlerFor(kHttps, false))
    return false;
  if (GetDefaultProgramsPlatform()->GetVersion() < base::win::OSInfo::VERSION_WIN8)
    return IsDefaultStartMenuInternet();
  return true;
}

bool Installation::IsDefaultStartMenuInternet() {
  LoadInstallLog();
  DefaultProgramsPlatform* platform = GetDefaultProgramsPlatform();
  if (platform->GetVersion() >= base::win::OSInfo::VERSION_VISTA &&
      install_log_.all_users) {
    IApplicationAssociationRegistration* registration = nullptr;
    if (FAILED(platform->CreateAssociationRegistration(&registration)) ||
        !registration) {
      return false;
    }
    BOOL is_default = FALSE;
    const HRESULT result = registration->QueryAppIsDefault(
        kStartMenuInternetClient, AT_STARTMENUCLIENT, AL_EFFECTIVE,
        as_wcstr(registered_app_name_), &is_default);
    registration->Release();
    return SUCCEEDED(result) && is_default;
  }

  const string16 expected =
      base::UTF8ToUTF16(GetProductName()) + base::UTF8ToUTF16(GetStream());
  std::wstring value;
  LONG result = ReadStartMenuInternet(HKEY_CURRENT_USER, &value);
  // No per-user choice, whether the value or the whole key is missing: the
  // machine's counts.
  if (result == ERROR_FILE_NOT_FOUND)
    result = ReadStartMenuInternet(HKEY_LOCAL_MACHINE, &value);
  return result == ERROR_SUCCESS && as_u16cstr(value.c_str()) == expected;
}

bool Installation::MakeDefaultBrowser(bool machine) {
  if (IsSingleProfile())
    return false;
  if (RegisterBrowserProgId(machine)) {
    // Single handlers may fail; the state reported below is what counts.
    RegisterHandler(kHttp, machine);
    if (GetDefaultProgramsPlatform()->GetVersion() <
        base::win::OSInfo::VERSION_WIN8) {
      for (const char16* handler : kFurtherHandlers)
        RegisterHandler(handler, machine);
      RegisterStartMenuInternet(machine);
    }
  }
  return IsDefaultBrowser();
}

bool Installation::CanRegister() const {
  if (HasInstallFolder())
    return true;
  // The commands would name a program at the root of the current drive.
  LOG(ERROR) << "No install folder: nothing registered";
  return false;
}

bool Installation::RegisterBrowserProgId(bool machine) {
  if (!CanRegister())
    return false;
  BrowserRegistrationExpander expander(string16(), install_folder_.value());
  return WriteRows(kProgIdRows, sizeof(kProgIdRows) / sizeof(kProgIdRows[0]),
                   RootFor(machine), &expander);
}

bool Installation::RegisterHandler(const string16& name, bool machine) {
  if (!CanRegister())
    return false;
  LoadInstallLog();
  DefaultProgramsPlatform* platform = GetDefaultProgramsPlatform();
  const Version version = platform->GetVersion();
  const bool is_extension = IsExtension(name);
  bool skip_user_choice = version < base::win::OSInfo::VERSION_VISTA;

  if (version >= base::win::OSInfo::VERSION_WIN10) {
    // Windows 10 lets only the user choose, in the Settings app.
    if (machine)
      return false;
    return OpenDefaultAppsSettings();
  }
  if (version >= base::win::OSInfo::VERSION_WIN8) {
    if (machine)
      return false;
    skip_user_choice = true;
    if (!IsDefaultHandlerFor(name, false)) {
      OPENASINFO info = {};
      info.pcszFile = as_wcstr(name);
      info.oaifInFlags =
          OAIF_REGISTER_EXT | OAIF_FORCE_REGISTRATION | OAIF_URL_PROTOCOL;
      if (FAILED(platform->ShowOpenWithDialog(info)))
        return false;
      platform->NotifyAssociationChanged();
    }
  } else if (version >= base::win::OSInfo::VERSION_VISTA && !machine &&
             install_log_.all_users) {
    if (!SetAppAsDefault(registered_app_name_, as_wcstr(name),
                         is_extension ? AT_FILEEXTENSION : AT_URLPROTOCOL)) {
      return false;
    }
    skip_user_choice = true;
  }

  const RegistryEntryRow* rows = is_extension ? kExtensionRows : kProtocolRows;
  size_t count = is_extension
                     ? sizeof(kExtensionRows) / sizeof(kExtensionRows[0])
                     : sizeof(kProtocolRows) / sizeof(kProtocolRows[0]);
  if (skip_user_choice)
    --count;
  BrowserRegistrationExpander expander(name, install_folder_.value());
  return WriteRows(rows, count, RootFor(machine), &expander);
}

bool Installation::RegisterStartMenuInternet(bool machine) {
  if (!CanRegister())
    return false;
  const Version version = GetDefaultProgramsPlatform()->GetVersion();
  if (version >= base::win::OSInfo::VERSION_WIN8 && machine)
    return false;
  LoadInstallLog();
  if (!machine && install_log_.all_users &&
      version >= base::win::OSInfo::VERSION_VISTA &&
      version < base::win::OSInfo::VERSION_WIN8 &&
      !SetAppAsDefault(registered_app_name_, kStartMenuInternetClient,
                       AT_STARTMENUCLIENT)) {
    return false;
  }
  BrowserRegistrationExpander expander(string16(), install_folder_.value());
  return WriteRows(&kStartMenuInternetRow, 1, RootFor(machine), &expander);
}

void Installation::RememberPreviousDefaultBrowser(bool machine) {
  // Without an install folder this copy never becomes the default.
  if (!CanRegister() || IsDefaultHandlerFor(kHttp, false))
    return;
  string16 command;
  if (GetDefaultHandlerCommand(kHttp, machine, &command))
    StorePreviousDefaultBrowser(command, machine);
}

}  // namespace installer
