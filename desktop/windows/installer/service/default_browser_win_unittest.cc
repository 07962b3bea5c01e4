#include "desktop/windows/installer/service/default_browser_win.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_log_capture_testsupport.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/branding.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/utils.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using Version = base::win::OSInfo::Version;

// Stands in for the shell's association registration, which Wine lacks
// ("IApplicationAssociationRegistration's QueryAppIsDefault/SetAppAsDefault
// ... are missing"); records what it is asked.
class FakeAssociationRegistration : public IApplicationAssociationRegistration {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryCurrentDefault(LPCWSTR, ASSOCIATIONTYPE,
      ASSOCIATIONLEVEL, LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryAppIsDefault(LPCWSTR query,
                                              ASSOCIATIONTYPE type,
                                              ASSOCIATIONLEVEL level,
                                              LPCWSTR app,
                                              BOOL* is_default) override {
    calls.push_back(std::wstring(L"query ") + query + L" " + app);
    EXPECT_EQ(AT_STARTMENUCLIENT, type);
    EXPECT_EQ(AL_EFFECTIVE, level);
    *is_default = answer;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryAppIsDefaultAll(ASSOCIATIONLEVEL, LPCWSTR,
      BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetAppAsDefault(LPCWSTR app,
                                            LPCWSTR set,
                                            ASSOCIATIONTYPE type) override {
    calls.push_back(std::wstring(L"set ") + app + L" " + set + L" " +
                    std::to_wstring(type));
    return set_result;
  }
  HRESULT STDMETHODCALLTYPE SetAppAsDefaultAll(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ClearUserAssociations() override { return E_NOTIMPL; }

  std::vector<std::wstring> calls;
  BOOL answer = FALSE;
  HRESULT set_result = S_OK;
};

// Stands in for the activation manager, which Wine lacks as well.
class FakeActivationManager : public IApplicationActivationManager {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE ActivateApplication(LPCWSTR app,
                                                LPCWSTR arguments,
                                                ACTIVATEOPTIONS,
                                                DWORD*) override {
    calls.push_back(std::wstring(app) + L" " + arguments);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ActivateForFile(LPCWSTR, IShellItemArray*, LPCWSTR,
      DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ActivateForProtocol(LPCWSTR, IShellItemArray*,
      DWORD*) override { return E_NOTIMPL; }

  std::vector<std::wstring> calls;
};

class FakePlatform : public DefaultProgramsPlatform {
 public:
  Version GetVersion() override { return version; }
  HRESULT CreateAssociationRegistration(
      IApplicationAssociationRegistration** out) override {
    *out = have_registration ? &registration : nullptr;
    return have_registration ? S_OK : REGDB_E_CLASSNOTREG;
  }
  HRESULT CreateActivationManager(IApplicationActivationManager** out) override {
    *out = &activation;
    return S_OK;
  }
  HRESULT ShowOpenWithDialog(const OPENASINFO& info) override {
    open_with.push_back(std::wstring(info.pcszFile) + L" " +
                        std::to_wstring(info.oaifInFlags));
    return open_with_result;
  }
  void NotifyAssociationChanged() override { ++notifications; }

  Version version = base::win::OSInfo::VERSION_WIN10;
  bool have_registration = true;
  FakeAssociationRegistration registration;
  FakeActivationManager activation;
  std::vector<std::wstring> open_with;
  HRESULT open_with_result = S_OK;
  int notifications = 0;
};

// Sends HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT to keys
// below a test key, so that nothing outside it is touched. The classes root
// shows the per-user classes, as Windows merges them into it.
class DefaultBrowserTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    test_key_ = base::TestRegistryParent() + L"\\default_browser";
    ASSERT_EQ(ERROR_SUCCESS,
              user_.Create(HKEY_CURRENT_USER, (test_key_ + L"\\cu").c_str(),
                           KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS,
              machine_.Create(HKEY_CURRENT_USER, (test_key_ + L"\\lm").c_str(),
                              KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS,
              classes_.Create(HKEY_CURRENT_USER,
                              (test_key_ + L"\\cu\\Software\\Classes").c_str(),
                              KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_.Handle()));
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.Handle()));
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOverridePredefKey(HKEY_CURRENT_USER, user_.Handle()));
    SetDefaultProgramsPlatformForTesting(&platform_);
    prog_id_ =
        base::UTF8ToUTF16(GetProductName()) + base::UTF8ToUTF16(GetStream());
  }

  void TearDown() override {
    SetDefaultProgramsPlatformForTesting(nullptr);
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, test_key_.c_str());
    ::CoUninitialize();
  }

  static void SetString(HKEY root,
                        const string16& key,
                        const wchar_t* name,
                        const string16& value) {
    base::win::RegKey reg_key;
    ASSERT_EQ(ERROR_SUCCESS,
              reg_key.Create(root, as_wcstr(key), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueExW(reg_key.Handle(), name, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>((value.size() + 1) * 2)));
  }

  static bool ReadString(HKEY root,
                         const string16& key,
                         const wchar_t* name,
                         string16* value) {
    base::win::RegKey reg_key;
    std::wstring text;
    if (reg_key.Open(root, as_wcstr(key), KEY_QUERY_VALUE) != ERROR_SUCCESS ||
        reg_key.ReadValue(name, &text) != ERROR_SUCCESS) {
      return false;
    }
    *value = as_u16cstr(text.c_str());
    return true;
  }

  static bool KeyExists(HKEY root, const string16& key) {
    base::win::RegKey reg_key;
    return reg_key.Open(root, as_wcstr(key), KEY_QUERY_VALUE) == ERROR_SUCCESS;
  }

  static InstallLog LogFor(bool all_users) {
    InstallLog log;
    log.all_users = all_users;
    return log;
  }

  static const string16 kFolder;
  static const string16 kHttpChoice;

  FakePlatform platform_;
  std::wstring test_key_;
  base::win::RegKey user_;
  base::win::RegKey machine_;
  base::win::RegKey classes_;
  string16 prog_id_;
};

const string16 DefaultBrowserTest::kFolder = u"C:\\Program Files\\Palvo Test";
const string16 DefaultBrowserTest::kHttpChoice =
    u"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http"
    u"\\UserChoice";

TEST_F(DefaultBrowserTest, HandlerCommands) {
  Installation installation(base::FilePath(kFolder), LogFor(false));
  string16 command;
  // Without the shell's record of the user's choice nothing is known.
  EXPECT_FALSE(GetDefaultHandlerCommand(u"http", false, &command));
  EXPECT_FALSE(installation.IsDefaultHandlerFor(u"http", false));

  // A choice without a ProgId: the protocol's own class.
  ASSERT_EQ(ERROR_SUCCESS, base::win::RegKey().Create(
                               HKEY_CURRENT_USER, as_wcstr(kHttpChoice),
                               KEY_SET_VALUE));
  SetString(HKEY_CLASSES_ROOT, u"http\\shell\\open\\command", nullptr,
            u"\"C:\\PROGRAM FILES\\Palvo Test\\LAUNCHER.EXE\" \"%1\"");
  ASSERT_TRUE(GetDefaultHandlerCommand(u"http", false, &command));
  EXPECT_TRUE(installation.IsDefaultHandlerFor(u"http", false));
  EXPECT_FALSE(installation.IsDefaultHandlerFor(u"http", true));

  // The user's ProgId wins.
  SetString(HKEY_CURRENT_USER, kHttpChoice, L"ProgId", u"OtherHTML");
  SetString(HKEY_CLASSES_ROOT, u"OtherHTML\\shell\\open\\command", nullptr,
            u"other.exe %1");
  ASSERT_TRUE(GetDefaultHandlerCommand(u"http", false, &command));
  EXPECT_EQ(u"other.exe %1", command);

  // Before Vista, and for all users, the choice is not looked at.
  SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\http\\shell\\open\\command",
            nullptr, u"machine.exe %1");
  ASSERT_TRUE(GetDefaultHandlerCommand(u"http", true, &command));
  EXPECT_EQ(u"machine.exe %1", command);
  platform_.version = base::win::OSInfo::VERSION_XP;
  ASSERT_TRUE(GetDefaultHandlerCommand(u"http", false, &command));
  EXPECT_EQ(u"\"C:\\PROGRAM FILES\\Palvo Test\\LAUNCHER.EXE\" \"%1\"", command);

  // An extension goes through its class to the ProgId; an empty class
  // names no command.
  SetString(HKEY_CLASSES_ROOT, u".htm", nullptr, u"PageHTML");
  SetString(HKEY_CLASSES_ROOT, u"PageHTML\\shell\\open\\command", nullptr,
            u"page.exe %1");
  ASSERT_TRUE(GetDefaultHandlerCommand(u".htm", false, &command));
  EXPECT_EQ(u"page.exe %1", command);
  SetString(HKEY_CLASSES_ROOT, u".xht", nullptr, u"");
  EXPECT_FALSE(GetDefaultHandlerCommand(u".xht", false, &command));
  EXPECT_FALSE(GetDefaultHandlerCommand(u".none", false, &command));

  // A ProgId of a type other than text fails.
  platform_.version = base::win::OSInfo::VERSION_WIN7;
  const DWORD number = 1;
  ASSERT_EQ(ERROR_SUCCESS,
            ::RegSetKeyValueW(HKEY_CURRENT_USER, as_wcstr(kHttpChoice),
                              L"ProgId", REG_DWORD, &number, sizeof(number)));
  EXPECT_FALSE(GetDefaultHandlerCommand(u"http", false, &command));
}

TEST_F(DefaultBrowserTest, StartMenuInternet) {
  platform_.version = base::win::OSInfo::VERSION_WIN7;
  Installation per_user(base::FilePath(kFolder), LogFor(false));
  EXPECT_FALSE(per_user.IsDefaultStartMenuInternet());
  // A user key without a default value falls back to the machine's.
  ASSERT_EQ(ERROR_SUCCESS, base::win::RegKey().Create(
                               HKEY_CURRENT_USER,
                               L"Software\\Clients\\StartMenuInternet",
                               KEY_SET_VALUE));
  SetString(HKEY_LOCAL_MACHINE, u"Software\\Clients\\StartMenuInternet",
            nullptr, prog_id_);
  EXPECT_TRUE(per_user.IsDefaultStartMenuInternet());
  SetString(HKEY_CURRENT_USER, u"Software\\Clients\\StartMenuInternet",
            nullptr, u"Other");
  EXPECT_FALSE(per_user.IsDefaultStartMenuInternet());
  EXPECT_TRUE(platform_.registration.calls.empty());

  // For all users the shell answers; no install log counts as all users.
  Installation all_users{base::FilePath(kFolder)};
  platform_.registration.answer = TRUE;
  EXPECT_TRUE(all_users.IsDefaultStartMenuInternet());
  ASSERT_EQ(1u, platform_.registration.calls.size());
  EXPECT_EQ(L"query StartmenuInternet " +
                std::wstring(as_wcstr(all_users.registered_app_name())),
            platform_.registration.calls[0]);
  platform_.have_registration = false;
  EXPECT_FALSE(all_users.IsDefaultStartMenuInternet());
}

TEST_F(DefaultBrowserTest, RememberPreviousDefault) {
  Installation installation(base::FilePath(kFolder), LogFor(false));
  const string16 company_key = GetCompanyRegistryKey();
  SetString(HKEY_CURRENT_USER, kHttpChoice, L"ProgId", u"OtherHTML");
  SetString(HKEY_CLASSES_ROOT, u"OtherHTML\\shell\\open\\command", nullptr,
            u"other.exe %1");
  installation.RememberPreviousDefaultBrowser(false);
  string16 previous;
  ASSERT_TRUE(ReadString(HKEY_CURRENT_USER, company_key,
                         L"Previous Default Browser", &previous));
  EXPECT_EQ(u"other.exe %1", previous);

  // Once this installation owns "http" the previous one stays remembered.
  SetString(HKEY_CLASSES_ROOT, u"OtherHTML\\shell\\open\\command", nullptr,
            u"\"" + kFolder + u"\\launcher.exe\" %1");
  installation.RememberPreviousDefaultBrowser(false);
  ASSERT_TRUE(ReadString(HKEY_CURRENT_USER, company_key,
                         L"Previous Default Browser", &previous));
  EXPECT_EQ(u"other.exe %1", previous);
}

TEST_F(DefaultBrowserTest, Windows10OpensSettings) {
  Installation installation(base::FilePath(kFolder), LogFor(false));
  EXPECT_FALSE(installation.MakeDefaultBrowser(false));
  string16 command;
  ASSERT_TRUE(ReadString(HKEY_CURRENT_USER,
                         u"Software\\Classes\\" + prog_id_ +
                             u"\\shell\\open\\command",
                         nullptr, &command));
  EXPECT_EQ(u"\"" + kFolder + u"\\Launcher.exe\" -noautoupdate -- \"%1\"",
            command);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\" + prog_id_ +
                                               u"\\shell\\open\\ddeexec\\Topic"));
  ASSERT_EQ(1u, platform_.activation.calls.size());
  EXPECT_EQ(L"windows.immersivecontrolpanel_cw5n1h2txyewy!microsoft.windows."
            L"immersivecontrolpanel page=SettingsPageAppsDefaults",
            platform_.activation.calls[0]);
  // Nothing of the protocol is written: the user chooses in Settings.
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\http"));

  EXPECT_FALSE(installation.RegisterHandler(u"http", true));
  EXPECT_FALSE(installation.RegisterStartMenuInternet(true));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\http"));
  EXPECT_FALSE(
      KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Clients\\StartMenuInternet"));
}

TEST_F(DefaultBrowserTest, MachineProgIdReplacesDdeExec) {
  platform_.version = base::win::OSInfo::VERSION_WIN8;
  const string16 dde =
      u"Software\\Classes\\" + prog_id_ + u"\\shell\\open\\ddeexec";
  SetString(HKEY_LOCAL_MACHINE, dde + u"\\Topic", nullptr, u"old");
  Installation installation(base::FilePath(kFolder), LogFor(true));
  EXPECT_FALSE(installation.MakeDefaultBrowser(true));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, dde));
  string16 icon;
  ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE,
                         u"Software\\Classes\\" + prog_id_ + u"\\DefaultIcon",
                         nullptr, &icon));
  EXPECT_EQ(kFolder + u"\\Launcher.exe,0", icon);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\http"));
  EXPECT_TRUE(platform_.open_with.empty());
}

TEST_F(DefaultBrowserTest, Windows8OpenWithDialog) {
  platform_.version = base::win::OSInfo::VERSION_WIN8_1;
  Installation installation(base::FilePath(kFolder), LogFor(false));
  SetString(HKEY_CURRENT_USER, kHttpChoice, L"Progid", u"OtherHTML");
  ASSERT_TRUE(installation.RegisterHandler(u"http", false));
  ASSERT_EQ(1u, platform_.open_with.size());
  EXPECT_EQ(L"http 74", platform_.open_with[0]);
  EXPECT_EQ(1, platform_.notifications);
  string16 command;
  ASSERT_TRUE(ReadString(HKEY_CURRENT_USER,
                         u"Software\\Classes\\http\\shell\\open\\command",
                         nullptr, &command));
  EXPECT_EQ(u"\"" + kFolder + u"\\launcher.exe\" -noautoupdate -- \"%1\"",
            command);
  // The shell keeps the user's choice itself.
  string16 choice;
  EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kHttpChoice, L"Progid", &choice));

  platform_.open_with_result = E_FAIL;
  EXPECT_FALSE(installation.RegisterHandler(u".htm", false));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\.htm"));
}

TEST_F(DefaultBrowserTest, Windows7Registration) {
  platform_.version = base::win::OSInfo::VERSION_WIN7;
  SetString(HKEY_CURRENT_USER, kHttpChoice, L"Progid", u"OtherHTML");

  // Per user on an all-users installation: through the shell, and the
  // user's choice stays.
  Installation all_users(base::FilePath(kFolder), LogFor(true));
  ASSERT_TRUE(all_users.RegisterHandler(u"http", false));
  ASSERT_TRUE(all_users.RegisterHandler(u".htm", false));
  ASSERT_EQ(2u, platform_.registration.calls.size());
  const std::wstring app = as_wcstr(all_users.registered_app_name());
  EXPECT_EQ(L"set " + app + L" http " + std::to_wstring(AT_URLPROTOCOL),
            platform_.registration.calls[0]);
  EXPECT_EQ(L"set " + app + L" .htm " + std::to_wstring(AT_FILEEXTENSION),
            platform_.registration.calls[1]);
  string16 value;
  EXPECT_TRUE(ReadString(HKEY_CURRENT_USER, kHttpChoice, L"Progid", &value));
  ASSERT_TRUE(
      ReadString(HKEY_CURRENT_USER, u"Software\\Classes\\.htm", nullptr, &value));
  EXPECT_EQ(prog_id_, value);

  // A failing shell call writes nothing.
  platform_.registration.set_result = E_FAIL;
  EXPECT_FALSE(all_users.RegisterHandler(u"ftp", false));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\ftp"));
  EXPECT_FALSE(all_users.RegisterStartMenuInternet(false));
  platform_.registration.set_result = S_OK;

  // A per-user installation writes the tables itself and removes the choice.
  Installation per_user(base::FilePath(kFolder), LogFor(false));
  platform_.registration.calls.clear();
  ASSERT_TRUE(per_user.RegisterHandler(u"http", false));
  EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kHttpChoice, L"Progid", &value));
  ASSERT_TRUE(per_user.RegisterStartMenuInternet(false));
  EXPECT_TRUE(platform_.registration.calls.empty());
  EXPECT_TRUE(per_user.IsDefaultStartMenuInternet());
  DWORD flags = 0;
  base::win::RegKey http(HKEY_CURRENT_USER, L"Software\\Classes\\http",
                         KEY_QUERY_VALUE);
  ASSERT_EQ(ERROR_SUCCESS, http.ReadValueDW(L"EditFlags", &flags));
  EXPECT_EQ(2u, flags);

  // With the remaining handlers registered and no other choice left, it is
  // the default.
  SetString(HKEY_CURRENT_USER,
            u"Software\\Microsoft\\Windows\\Shell\\Associations\\"
            u"UrlAssociations\\https\\UserChoice",
            L"Progid", u"OtherHTML");
  EXPECT_FALSE(per_user.IsDefaultBrowser());
  EXPECT_TRUE(per_user.MakeDefaultBrowser(false));
  EXPECT_TRUE(per_user.IsDefaultBrowser());
}

// Without an install folder nothing is registered and nothing is read from
// the current folder, where anyone may have put the files.
TEST_F(DefaultBrowserTest, NoInstallFolderRegistersNothing) {
  base::TestFolder current;
  const std::string prefs = "{\"profile_path\": \"C:\\\\Planted\"}";
  ASSERT_EQ(static_cast<int>(prefs.size()),
            base::WriteFile(current.path().AppendASCII("installer_prefs.json"),
                            prefs.data(), static_cast<int>(prefs.size())));
  wchar_t previous[MAX_PATH];
  ASSERT_NE(0u, ::GetCurrentDirectoryW(MAX_PATH, previous));
  ASSERT_TRUE(::SetCurrentDirectoryW(as_wcstr(current.path().value())));
  SetString(HKEY_CURRENT_USER, kHttpChoice, L"Progid", u"OtherHTML");
  SetString(HKEY_CLASSES_ROOT, u"OtherHTML\\shell\\open\\command", nullptr,
            u"\"C:\\Other\\launcher.exe\" %1");

  for (const char16* folder : {u"", u"Palvo"}) {
    for (Version version : {base::win::OSInfo::VERSION_WIN7,
                            base::win::OSInfo::VERSION_WIN8,
                            base::win::OSInfo::VERSION_WIN10}) {
      platform_.version = version;
      Installation installation{base::FilePath(folder)};
      EXPECT_TRUE(installation.profile_path().empty());
      EXPECT_FALSE(installation.IsDefaultHandlerFor(u"http", false));
      base::ScopedLogCapture log;
      EXPECT_FALSE(installation.RegisterBrowserProgId(false));
      EXPECT_FALSE(installation.RegisterHandler(u"http", false));
      EXPECT_FALSE(installation.RegisterStartMenuInternet(false));
      EXPECT_FALSE(installation.MakeDefaultBrowser(false));
      installation.RememberPreviousDefaultBrowser(false);
      EXPECT_NE(std::string::npos, log.text.find("No install folder: nothing registered"));
    }
  }
  ::SetCurrentDirectoryW(previous);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\" + prog_id_));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\http"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Clients\\StartMenuInternet"));
  string16 remembered;
  EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, GetCompanyRegistryKey(),
                          L"Previous Default Browser", &remembered));
  EXPECT_TRUE(platform_.registration.calls.empty());
  EXPECT_TRUE(platform_.activation.calls.empty());
  EXPECT_TRUE(platform_.open_with.empty());
}

TEST_F(DefaultBrowserTest, SingleProfileNeverBecomesDefault) {
  platform_.version = base::win::OSInfo::VERSION_WIN7;
  base::TestFolder folder;
  const std::string prefs = "{\"single_profile\": true}";
  ASSERT_EQ(static_cast<int>(prefs.size()),
            base::WriteFile(folder.path().AppendASCII("installer_prefs.json"),
                            prefs.data(), static_cast<int>(prefs.size())));
  Installation installation(folder.path(), LogFor(false));
  EXPECT_FALSE(installation.MakeDefaultBrowser(false));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\" + prog_id_));
}

}  // namespace
}  // namespace installer
