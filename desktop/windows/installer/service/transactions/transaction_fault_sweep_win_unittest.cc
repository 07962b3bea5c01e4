#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_log_capture_testsupport.h"
#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/move_file_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/service/utils.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"
#include "testing/win/registry_rules.h"

// Realistic transactions of file and registry operations, made to fail in
// every way we can produce: each operation in turn, and each platform call
// that the operations make while executing, while rolling back, and while
// committing (their destructors).
// - A failure while executing: after the rollback the scratch folder and key
//   are exactly as before; after a commit (a failure nobody reported) as
//   after a clean one.
// - A failure while rolling back or committing may leave work undone, but
//   loses nothing: every file's bytes are under their name or under a name
//   that an error line gives, every key and value is there, and no access
//   list is wider than before.
namespace installer {

namespace {

using base::FilePath;

// Another program acting just before a copy is made, through the system's
// own entries, so that no injected fault stops it: before the first copy
// it takes the copy's target name (with g_take_target), or else, before
// the second, it gives the file the first one copied (from the folder
// g_first_copied names) a later last-write time, its bytes unchanged.
int g_copies = 0;
bool g_take_target = false;
std::wstring* g_first_copied = nullptr;
platform_rules::ScopedImportHook* g_touch_hook = nullptr;

NTSTATUS NTAPI TouchingNtCreateFile(PHANDLE handle, ACCESS_MASK access,
                                    POBJECT_ATTRIBUTES object,
                                    PIO_STATUS_BLOCK io, PLARGE_INTEGER size,
                                    ULONG attributes, ULONG share,
                                    ULONG disposition, ULONG options, PVOID ea,
                                    ULONG ea_length) {
  using platform_rules::SystemEntry;
  const std::wstring name(object->ObjectName->Buffer,
                          object->ObjectName->Length / sizeof(wchar_t));
  wchar_t folder[MAX_PATH] = {};
  const bool copy = disposition == FILE_CREATE &&
                    !(options & FILE_DIRECTORY_FILE) && ++g_copies <= 2;
  if (copy && g_copies == 1 && g_take_target) {
    SystemEntry<decltype(&::GetFinalPathNameByHandleW)>(
        "kernel32.dll", "GetFinalPathNameByHandleW")(object->RootDirectory,
                                                     folder, MAX_PATH, 0);
    HANDLE file = SystemEntry<decltype(&::CreateFileW)>(
        "kernel32.dll", "CreateFileW")((std::wstring(folder) + L"\\" + name)
                                           .c_str(),
                                       GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                                       nullptr);
    DWORD written = 0;
    EXPECT_TRUE(SystemEntry<decltype(&::WriteFile)>("kernel32.dll",
                                                    "WriteFile")(
        file, "theirs", 6, &written, nullptr));
    SystemEntry<decltype(&::CloseHandle)>("kernel32.dll", "CloseHandle")(file);
  } else if (copy && g_copies == 1) {
    *g_first_copied += L"\\" + name;
  } else if (copy && !g_take_target) {
    HANDLE file = SystemEntry<decltype(&::CreateFileW)>(
        "kernel32.dll", "CreateFileW")(
        g_first_copied->c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, 0, nullptr);
    FILETIME written = {};
    EXPECT_TRUE(SystemEntry<decltype(&::GetFileTime)>("kernel32.dll",
                                                      "GetFileTime")(
        file, nullptr, nullptr, &written));
    written.dwHighDateTime += 1;
    EXPECT_TRUE(SystemEntry<decltype(&::SetFileTime)>("kernel32.dll",
                                                      "SetFileTime")(
        file, nullptr, nullptr, &written));
    SystemEntry<decltype(&::CloseHandle)>("kernel32.dll", "CloseHandle")(file);
  }
  return g_touch_hook->original<decltype(&::NtCreateFile)>()(
      handle, access, object, io, size, attributes, share, disposition,
      options, ea, ea_length);
}

// Another program adding the file g_added names, once, as the first entry
// of a folder being deleted is renamed or deleted.
std::wstring* g_added = nullptr;

NTSTATUS NTAPI AddingNtSetInformationFile(HANDLE file, PIO_STATUS_BLOCK io,
                                          PVOID data, ULONG length,
                                          FILE_INFORMATION_CLASS kind) {
  using platform_rules::SystemEntry;
  // As the source's first entry goes aside, not at the move's own try of a
  // rename, which the other volume refuses before anything is copied.
  const auto* rename = static_cast<const FILE_RENAME_INFORMATION*>(data);
  const bool aside =
      kind == 10 /* rename */ && rename->FileNameLength >= 10 &&
      std::wstring(rename->FileName + rename->FileNameLength / 2 - 5, 5) ==
          L".gone";
  if (g_added && !g_added->empty() &&
      (kind == FileDispositionInformation || aside)) {
    HANDLE added = SystemEntry<decltype(&::CreateFileW)>(
        "kernel32.dll", "CreateFileW")(g_added->c_str(), GENERIC_WRITE, 0,
                                       nullptr, CREATE_NEW, 0, nullptr);
    SystemEntry<decltype(&::CloseHandle)>("kernel32.dll", "CloseHandle")(added);
    g_added->clear();
  }
  return g_touch_hook->original<decltype(&::NtSetInformationFile)>()(
      file, io, data, length, kind);
}

class FailingOperation : public Operation {
 public:
  bool Execute(Transaction*) override { return false; }
  void Rollback() override {}
};

// One operation, and the file (relative to the scratch folder) whose being
// held open makes it fail; none when null.
struct Step {
  std::function<Operation*()> make;
  const char* held;
  DWORD held_share;
};

enum Phase { EXECUTE, ROLLBACK, COMMIT };

// What the scratch folder and key hold, by kind and name:
// "F <file>" its bytes, "A <file or folder>" its attributes, "S <file or
// folder>" its access list, "K <key>" its access list, "O <key>" its owner,
// "L <key>" the target of a link, "V <key> [name]" a value's type and bytes.
using State = std::map<std::string, std::string>;

std::wstring Sddl(PSECURITY_DESCRIPTOR descriptor) {
  wchar_t* text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    return L"?";
  }
  std::wstring result(text);
  ::LocalFree(text);
  // Whether a list was made by inheritance-aware code (Wine drops the mark
  // on every change) says nothing about who may do what; protection does.
  const size_t flags_end = result.find(L'(');
  const size_t auto_inherited = result.find(L"AI");
  if (auto_inherited < flags_end)
    result.erase(auto_inherited, 2);
  return result;
}

// Every key below |path|: values with types and bytes, and access lists.
void DescribeKey(const std::wstring& path, State* state) {
  const std::string name = base::WideToUTF8(path);
  // A link as a link, by its target.
  const std::wstring target =
      platform_rules::KeyLinkTarget(HKEY_CURRENT_USER, path);
  if (!target.empty()) {
    (*state)["L " + name] = base::WideToUTF8(target);
    return;
  }
  HKEY key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0,
                      KEY_READ | READ_CONTROL, &key) != ERROR_SUCCESS) {
    (*state)["K " + name] = "unreadable";
    return;
  }
  BYTE security[4096];
  DWORD security_size = sizeof(security);
  const bool read =
      ::RegGetKeySecurity(key,
                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          security, &security_size) == ERROR_SUCCESS;
  (*state)["K " + name] = base::WideToUTF8(read ? Sddl(security) : L"?");
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  wchar_t* owner_text = nullptr;
  if (read && ::GetSecurityDescriptorOwner(security, &owner, &defaulted) &&
      owner && ::ConvertSidToStringSidW(owner, &owner_text)) {
    (*state)["O " + name] = base::WideToUTF8(owner_text);
    ::LocalFree(owner_text);
  }
  for (DWORD i = 0; i < 1000; ++i) {
    wchar_t value[256];
    DWORD value_size = 256;
    BYTE data[1024];
    DWORD data_size = sizeof(data);
    DWORD type;
    if (::RegEnumValueW(key, i, value, &value_size, nullptr, &type, data,
                        &data_size) != ERROR_SUCCESS) {
      break;
    }
    (*state)["V " + name + " [" + base::WideToUTF8(value) + "]"] =
        std::to_string(type) + ":" +
        std::string(reinterpret_cast<const char*>(data), data_size);
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0; i < 1000; ++i) {
    wchar_t subkey[256];
    DWORD subkey_size = 256;
    if (::RegEnumKeyExW(key, i, subkey, &subkey_size, nullptr, nullptr,
                        nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    subkeys.push_back(subkey);
  }
  ::RegCloseKey(key);
  for (const std::wstring& subkey : subkeys)
    DescribeKey(path + L"\\" + subkey, state);
}

std::string FileSddl(const FilePath& path) {
  BYTE security[4096];
  DWORD size = 0;
  if (!::GetFileSecurityW(as_wcstr(path.value()), DACL_SECURITY_INFORMATION,
                          security, sizeof(security), &size)) {
    return "?";
  }
  return base::WideToUTF8(Sddl(security));
}

// Whether |log| names |name| itself: followed by no further path
// component or name character.
bool Names(const std::string& log, const std::string& name) {
  for (size_t at = log.find(name); at != std::string::npos;
       at = log.find(name, at + 1)) {
    const size_t end = at + name.size();
    if (end == log.size() ||
        !(isalnum(static_cast<unsigned char>(log[end])) ||
          std::string("\\._-").find(log[end]) != std::string::npos)) {
      return true;
    }
  }
  return false;
}

// Whether the access list |now| allows nothing that |before| did not: it
// is protected from inheritance if |before| was, each of its entries is
// one of |before|'s, and it keeps every entry of |before| that denies.
bool NoWider(const std::string& now, const std::string& before) {
  auto flags = [](const std::string& sddl) {
    return sddl.substr(0, sddl.find('('));
  };
  auto entries = [](const std::string& sddl) {
    std::set<std::string> result;
    for (size_t at = sddl.find('('); at != std::string::npos;
         at = sddl.find('(', at + 1)) {
      result.insert(sddl.substr(at, sddl.find(')', at) - at));
    }
    return result;
  };
  const std::set<std::string> allowed = entries(before);
  const std::set<std::string> present = entries(now);
  for (const std::string& entry : allowed) {
    if (entry.compare(0, 3, "(D;") == 0 && !present.count(entry))
      return false;
  }
  return (flags(now) == flags(before) ||
          flags(before).find('P') == std::string::npos) &&
         std::includes(allowed.begin(), allowed.end(), present.begin(),
                       present.end());
}

class TransactionFaultSweepTest
    : public testing::TestWithParam<std::tuple<int, Phase>> {
 public:
  struct Scenario {
    const char* name;
    void (TransactionFaultSweepTest::*build)();
    std::vector<Step> (TransactionFaultSweepTest::*steps)();
    // Whether a run without failures succeeds.
    bool succeeds;
    // Entries that a clean commit must leave as given.
    State committed;
    // Another program acts in every run, so that every run fails and a
    // fault in its clean-up is a second trouble: then what the clean-up
    // leaves may stay, as long as nothing is lost.
    bool someone_else = false;
  };
  static const Scenario kScenarios[];
  static const int kScenarioCount;

 protected:
  void SetUp() override {
    key_ = base::TestRegistryParent() + L"\\sweep";
    scenario_ = &kScenarios[std::get<0>(GetParam())];
    phase_ = std::get<1>(GetParam());
  }

  void TearDown() override {
    toucher_.reset();
    delete g_first_copied;
    g_first_copied = nullptr;
    delete g_added;
    g_added = nullptr;
    ClearKey();
    base::RemoveLinkUnderWine(Path("link"));
  }

  FilePath Path(const char* relative) const {
    return folder_.path().AppendASCII(relative);
  }
  std::wstring Key(const wchar_t* relative) const {
    return key_ + L"\\" + relative;
  }

  void File(const char* relative, const std::string& text, DWORD attributes) {
    const FilePath path = Path(relative);
    ASSERT_TRUE(base::CreateDirectory(path.DirName()));
    const int size = static_cast<int>(text.size());
    ASSERT_EQ(size, base::WriteFile(path, text.data(), size));
    if (attributes) {
      ASSERT_TRUE(::SetFileAttributesW(as_wcstr(path.value()), attributes));
    }
  }

  // Exactly |data|: a character that is no NUL follows it.
  void Value(const wchar_t* key,
             const wchar_t* name,
             DWORD type,
             const std::string& data,
             DWORD options = 0) {
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, Key(key).c_str(), 0,
                                nullptr, options, KEY_ALL_ACCESS, nullptr,
                                &handle, nullptr));
    if (name) {
      const std::string guarded = data + "\xFF\xFF\xFF";
      EXPECT_EQ(ERROR_SUCCESS,
                ::RegSetValueExW(handle, name, 0, type,
                                 reinterpret_cast<const BYTE*>(guarded.data()),
                                 static_cast<DWORD>(data.size())));
    }
    ::RegCloseKey(handle);
  }

  void SetDacl(const wchar_t* key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl, SDDL_REVISION_1, &descriptor, nullptr));
    // An owner given too: any owner needs SeRestorePrivilege.
    const bool owner = wcsncmp(sddl, L"O:", 2) == 0;
    ScopedPrivilege restore(L"SeRestorePrivilege");
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, Key(key).c_str(), 0,
                              WRITE_DAC | (owner ? WRITE_OWNER : 0), &handle));
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegSetKeySecurity(handle,
                                  DACL_SECURITY_INFORMATION |
                                      (owner ? OWNER_SECURITY_INFORMATION : 0),
                                  descriptor));
    ::RegCloseKey(handle);
    ::LocalFree(descriptor);
  }

  void SetFileDacl(const char* relative, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl, SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_TRUE(::SetFileSecurityW(as_wcstr(Path(relative).value()),
                                   DACL_SECURITY_INFORMATION, descriptor));
    ::LocalFree(descriptor);
    guarded_.insert(std::string("\\") + relative);
  }

  // Everything a scenario lays out goes first. The link and the folder it
  // points to stay: under Wine only a Unix tool makes or removes the link.
  void ClearAll() {
    for (const char* folder : {"app", "src", "other"})
      ASSERT_TRUE(base::DeleteFile(Path(folder), true));
    if (base::DirectoryExists(Path("outside"))) {
      ASSERT_TRUE(base::DeleteFile(Path("outside\\*"), true));
    }
    ClearKey();
  }

  // A key the system owns is taken over to be deleted.
  void ClearKey() {
    ::SHDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
    HKEY left = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), REG_OPTION_OPEN_LINK,
                        KEY_QUERY_VALUE, &left) != ERROR_SUCCESS) {
      return;
    }
    ::RegCloseKey(left);
    Transaction clear;
    EXPECT_TRUE(clear.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, key_)));
  }

  // --- The scenarios --------------------------------------------------

  std::function<Operation*()> Copy(const char* from, const char* to) {
    return [this, from, to] {
      return new CopyFileOperation(Path(from), Path(to));
    };
  }
  std::function<Operation*()> Move(const char* from, const char* to) {
    return [this, from, to] {
      return new MoveFileOperation(Path(from), Path(to));
    };
  }
  std::function<Operation*()> Remove(const char* path, bool check_in_use) {
    return [this, path, check_in_use] {
      return new DeleteFileOperation(Path(path), check_in_use, false);
    };
  }
  std::function<Operation*()> SetValue(const wchar_t* key,
                                       const wchar_t* name,
                                       DWORD type,
                                       std::string data) {
    return [this, key, name, type, data] {
      return new ChangeRegValueOperation(HKEY_CURRENT_USER, Key(key), name,
                                         data.data(), type,
                                         static_cast<DWORD>(data.size()));
    };
  }
  std::function<Operation*()> RemoveKey(const wchar_t* key) {
    return [this, key] {
      return new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(key));
    };
  }
  std::function<Operation*()> CreateKey(const wchar_t* key) {
    return [this, key] {
      return new CreateRegKeyOperation(HKEY_CURRENT_USER, Key(key));
    };
  }

  void BuildMixed() {
    File("src\\new.dll", "new dll", 0);
    File("src\\new.txt", "new text", 0);
    File("src\\m1.txt", "m1", FILE_ATTRIBUTE_READONLY);
    File("src\\m2.txt", "m2", 0);
    File("app\\ro.dll", "old dll", FILE_ATTRIBUTE_READONLY);
    File("app\\plain.txt", "old text", FILE_ATTRIBUTE_HIDDEN);
    File("app\\old.txt", "old", 0);
    File("app\\launcher.exe", "exe", 0);
    File("app\\doomed\\a.txt", "a", 0);
    File("app\\doomed\\inner\\b.txt", "b", FILE_ATTRIBUTE_READONLY);
    File("app\\doomed\\inner\\c.txt", "c", 0);
    File("app\\movable\\d.txt", "d", 0);
    File("app\\movable\\sub\\e.txt", "e", 0);
    Value(L"a", L"type", REG_SZ, std::string("1\0\0\0", 4));
    Value(L"a", L"removed", REG_BINARY, "gone");
    Value(L"tree\\sub\\deeper", L"leaf", REG_BINARY, "leaf");
    Value(L"tree\\sub", L"mid", REG_DWORD, std::string("\x07\0\0\0", 4));
    Value(L"tree", nullptr, 0, "");
    Value(L"doomed", L"x", REG_BINARY, "old");
    Value(L"progid", L"", REG_SZ, std::string("o\0l\0d\0\0\0", 8));
    // Everyone may read; only the system may write or make subkeys.
    SetDacl(L"tree\\sub", L"D:P(A;;KR;;;WD)(A;;KA;;;SY)");
    SetDacl(L"progid", L"D:P(A;OICI;KR;;;WD)");
  }

  std::vector<Step> MixedSteps() {
    const DWORD kNoDelete = FILE_SHARE_READ;
    return {
        {Copy("src\\new.dll", "app\\ro.dll"), "app\\ro.dll", kNoDelete},
        {Copy("src\\new.txt", "app\\plain.txt"), "app\\plain.txt", kNoDelete},
        {Move("src\\m1.txt", "app\\new\\deep\\m1.txt"), "src\\m1.txt",
         kNoDelete},
        {Move("src\\m2.txt", "app\\new\\m2.txt"), "src\\m2.txt", kNoDelete},
        {[this] { return new CreateFolderOperation(Path("app\\made\\a\\b")); },
         nullptr, 0},
        {Remove("app\\old.txt", false), "app\\old.txt", kNoDelete},
        {Remove("app\\doomed", false), "app\\doomed\\inner\\c.txt", kNoDelete},
        {Move("app\\movable", "app\\moved\\here"), "app\\movable\\sub\\e.txt",
         kNoDelete},
        // Running: it can be renamed, not written.
        {Remove("app\\launcher.exe", true), "app\\launcher.exe",
         FILE_SHARE_READ | FILE_SHARE_DELETE},
        {CreateKey(L"new\\deep"), nullptr, 0},
        {SetValue(L"a", L"type", REG_DWORD, std::string("\x01\0\0\0", 4)),
         nullptr, 0},
        {SetValue(L"a", L"added", REG_SZ, std::string("n\0e\0w\0\0\0", 8)),
         nullptr, 0},
        {SetValue(L"a", L"removed", ChangeRegValueOperation::kRemoveValue, ""),
         nullptr, 0},
        {RemoveKey(L"tree"), nullptr, 0},
        {SetValue(L"doomed", L"x", REG_BINARY, "new"), nullptr, 0},
        {RemoveKey(L"doomed"), nullptr, 0},
        {SetValue(L"new\\deep", L"y", REG_BINARY, "y"), nullptr, 0},
        // Both widen access on the same key for the change.
        {SetValue(L"progid", L"", REG_SZ, std::string("n\0e\0w\0\0\0", 8)),
         nullptr, 0},
        {CreateKey(L"progid\\shell"), nullptr, 0},
    };
  }

  // A file moved onto another: the one there is made room for first.
  void BuildMoveOnto() {
    File("src\\moved.txt", "moved", 0);
    File("app\\taken.txt", "taken", FILE_ATTRIBUTE_READONLY);
  }
  std::vector<Step> MoveOntoSteps() {
    return {{Move("src\\moved.txt", "app\\taken.txt"), "src\\moved.txt",
             FILE_SHARE_READ}};
  }

  // A folder moved to another volume is copied, then deleted; attributes
  // travel with it.
  void BuildOtherVolume() {
    File("app\\tree\\ro.txt", "ro", FILE_ATTRIBUTE_READONLY);
    File("app\\tree\\plain.txt", "plain", 0);
    File("app\\tree\\marked\\h.txt", "hidden", FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(::SetFileAttributesW(
        as_wcstr(Path("app\\tree\\marked").value()),
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  }
  std::vector<Step> OtherVolumeSteps() {
    return {{Move("app\\tree", "other\\moved"), "app\\tree\\plain.txt",
             FILE_SHARE_READ}};
  }

  // A folder moved to another volume that another program stops from
  // going (it adds a file as the first entry goes): the move fails, and the
  // source stays the same files, with their own lists and names.
  void BuildStopped() {
    File("app\\tree\\ro.txt", "ro", FILE_ATTRIBUTE_READONLY);
    File("app\\tree\\sub\\guarded.txt", "guarded", 0);
    SetFileDacl("app\\tree\\sub\\guarded.txt", L"D:P(A;;FA;;;WD)");
    delete g_added;
    g_added = new std::wstring(as_wcstr(Path("app\\tree\\sub\\new.txt").value()));
    if (!toucher_) {
      toucher_ = std::make_unique<platform_rules::ScopedImportHook>(
          "NtSetInformationFile", reinterpret_cast<void*>(&AddingNtSetInformationFile));
      g_touch_hook = toucher_.get();
    }
  }
  std::vector<Step> StoppedSteps() {
    return {{Move("app\\tree", "other\\moved"), nullptr, 0}};
  }

  // Items moved to another volume and on from there, each move a new copy:
  // a rollback brings every one back. A file whose source cannot be deleted
  // (held open) is not moved.
  void BuildMovedOn() {
    File("app\\tree\\ro.txt", "tree ro", FILE_ATTRIBUTE_READONLY);
    File("app\\ro.txt", "ro", FILE_ATTRIBUTE_READONLY);
    File("src\\c.txt", "c", 0);
  }
  std::vector<Step> MovedOnSteps() {
    return {{Move("app\\tree", "other\\tree"), "app\\tree\\ro.txt",
             FILE_SHARE_READ},
            {Move("other\\tree", "app\\back"), nullptr, 0},
            {Move("app\\ro.txt", "other\\ro.txt"), "app\\ro.txt",
             FILE_SHARE_READ},
            {Move("other\\ro.txt", "app\\ro2.txt"), nullptr, 0},
            {Copy("src\\c.txt", "other\\c.txt"), nullptr, 0},
            {Move("other\\c.txt", "app\\c.txt"), nullptr, 0}};
  }

  // "link" points to "outside", which the installer does not own: a file
  // there whose access list would have to be widened is refused.
  void BuildLink() {
    File("src\\new.txt", "new text", 0);
    File("outside\\locked.txt", "locked", 0);
    SetFileDacl("outside\\locked.txt", L"D:P(A;;FR;;;WD)");
    if (!base::IsLink(Path("link"))) {
      ASSERT_TRUE(base::MakeFolderLink(Path("link"), Path("outside")))
          << "no folder link can be made here";
    }
  }
  std::vector<Step> LinkSteps() {
    return {{Copy("src\\new.txt", "link\\copied.txt"), nullptr, 0},
            {Remove("link\\locked.txt", false), nullptr, 0}};
  }

  // Keys that only allow reading: a value set in one that is then
  // deleted; one key widened by a value's change and one by a new subkey,
  // each alone, so that their commit puts the list back.
  void BuildWidenedKey() {
    for (const wchar_t* key : {L"locked\\sub", L"locked", L"valued",
                               L"parent"}) {
      Value(key, L"x", REG_BINARY, "old");
      SetDacl(key, L"D:P(A;;KR;;;WD)(A;;KA;;;SY)");
    }
  }
  std::vector<Step> WidenedKeySteps() {
    return {{SetValue(L"locked", L"x", REG_BINARY, "new"), nullptr, 0},
            {RemoveKey(L"locked"), nullptr, 0},
            {SetValue(L"valued", L"x", REG_BINARY, "new"), nullptr, 0},
            {CreateKey(L"parent\\made"), nullptr, 0}};
  }

  // A tree whose subkeys inherit a read-only list from its top: a grant
  // on a key reaches the keys below it, as Windows propagates it (the
  // registry rules do).
  void BuildInherited() {
    Value(L"inherit\\a\\b", L"leaf", REG_BINARY, "leaf");
    Value(L"inherit\\a", L"v", REG_BINARY, "old");
    SetDacl(L"inherit\\a\\b", L"D:AI(A;OICIID;KR;;;WD)(A;OICIID;KA;;;SY)");
    SetDacl(L"inherit\\a", L"D:AI(A;OICIID;KR;;;WD)(A;OICIID;KA;;;SY)");
    SetDacl(L"inherit", L"D:P(A;OICI;KR;;;WD)(A;OICI;KA;;;SY)");
  }
  std::vector<Step> InheritedSteps() {
    return {{SetValue(L"inherit\\a", L"v", REG_BINARY, "new"), nullptr, 0},
            {RemoveKey(L"inherit"), nullptr, 0}};
  }

  // Files given by their short names come back under their own; the moved
  // read-only file and the copy's read-only source keep their marks.
  void BuildAliases() {
    File("app\\LongDocumentName.txt", "long", 0);
    File("app\\AnotherLongName.txt", "moved", FILE_ATTRIBUTE_READONLY);
    File("src\\ro.txt", "copied", FILE_ATTRIBUTE_READONLY);
  }
  // |relative| with its last component spelled short.
  FilePath ShortName(const char* relative) const {
    const FilePath path = Path(relative);
    wchar_t name[MAX_PATH];
    const DWORD length =
        ::GetShortPathNameW(as_wcstr(path.value()), name, MAX_PATH);
    if (!length || length >= MAX_PATH)
      return path;
    return path.DirName().Append(FilePath(as_u16cstr(name)).BaseName().value());
  }
  std::vector<Step> AliasesSteps() {
    return {{[this] {
               return new DeleteFileOperation(
                   ShortName("app\\LongDocumentName.txt"), false, false);
             },
             "app\\LongDocumentName.txt", FILE_SHARE_READ},
            {[this] {
               return new MoveFileOperation(
                   ShortName("app\\AnotherLongName.txt"), Path("app\\moved.txt"));
             },
             "app\\AnotherLongName.txt", FILE_SHARE_READ},
            {Copy("src\\ro.txt", "app\\copied.txt"), nullptr, 0}};
  }

  // A read-only file in a deleted folder, with another name outside it.
  void BuildHardLink() {
    File("app\\doomed\\ro.txt", "ro", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(::CreateHardLinkW(as_wcstr(Path("app\\kept.txt").value()),
                                  as_wcstr(Path("app\\doomed\\ro.txt").value()),
                                  nullptr));
  }
  std::vector<Step> HardLinkSteps() {
    return {{Remove("app\\doomed", false), "app\\doomed\\ro.txt",
             FILE_SHARE_READ}};
  }

  // A file the user may only read, deleted: its list is widened for that.
  void BuildLocked() {
    File("app\\locked.txt", "locked", FILE_ATTRIBUTE_READONLY);
    SetFileDacl("app\\locked.txt", L"D:P(A;;FR;;;WD)");
  }
  std::vector<Step> LockedSteps() {
    return {{Remove("app\\locked.txt", false), "app\\locked.txt",
             FILE_SHARE_READ}};
  }

  // A folder moved to another volume while another program touches a
  // file already copied: the move fails and the folder stays whole.
  void BuildTouchedDuringMove() {
    File("app\\tree\\a.txt", "a", 0);
    File("app\\tree\\b.txt", "b", 0);
    StartSomeoneElse(false);
  }
  void StartSomeoneElse(bool take_target) {
    g_copies = 0;
    g_take_target = take_target;
    delete g_first_copied;
    g_first_copied = new std::wstring(as_wcstr(Path("app\\tree").value()));
    if (!toucher_) {
      toucher_ = std::make_unique<platform_rules::ScopedImportHook>(
          "NtCreateFile", reinterpret_cast<void*>(&TouchingNtCreateFile));
      g_touch_hook = toucher_.get();
    }
  }
  std::vector<Step> TouchedDuringMoveSteps() {
    return {{Move("app\\tree", "other\\moved"), "app\\tree\\b.txt",
             FILE_SHARE_READ}};
  }

  // Another program takes the target's name once the old file was moved
  // aside for a copy: the copy fails, their file stays, and so does the
  // old one, under the name the log gives.
  void BuildTakenAfterRoom() {
    File("src\\new.txt", "new", 0);
    File("app\\old.txt", "old", 0);
    StartSomeoneElse(true);
  }
  std::vector<Step> TakenAfterRoomSteps() {
    return {{Copy("src\\new.txt", "app\\old.txt"), "app\\old.txt",
             FILE_SHARE_READ}};
  }

  // A key is more than its values: a tree, below a parent that lets nobody
  // make subkeys, holding a link to a key outside it, strings without
  // terminator and a key the system owns; a tree below a volatile key; and
  // a value set in a key the system owns, which the user may take over.
  void BuildKeyKinds() {
    const wchar_t kSystemOwned[] =
        L"O:SYD:P(A;;KR;;;WD)(A;;WO;;;WD)(A;;KA;;;SY)";
    Value(L"outside\\target", L"kept", REG_BINARY, "t");
    Value(L"locked\\tree", L"bare", REG_SZ, std::string("a\0b\0", 4));
    Value(L"locked\\tree", L"multi", REG_MULTI_SZ,
          std::string("a\0\0\0b\0", 6));
    Value(L"locked\\tree\\system", L"x", REG_BINARY, "s");
    SetDacl(L"locked\\tree\\system", kSystemOwned);
    ASSERT_EQ(ERROR_SUCCESS,
              platform_rules::MakeKeyLink(HKEY_CURRENT_USER,
                                          Key(L"locked\\tree\\door"),
                                          Key(L"outside\\target")));
    SetDacl(L"locked", L"D:P(A;OICI;KR;;;WD)(A;OICI;KA;;;SY)");
    for (const wchar_t* key : {L"fleeting", L"fleeting\\tree",
                               L"fleeting\\tree\\leaf"}) {
      Value(key, L"v", REG_BINARY, "v", REG_OPTION_VOLATILE);
    }
    Value(L"owned", L"x", REG_BINARY, "old");
    SetDacl(L"owned", kSystemOwned);
  }
  std::vector<Step> KeyKindsSteps() {
    return {{SetValue(L"owned", L"x", REG_BINARY, "new"), nullptr, 0},
            {RemoveKey(L"locked\\tree"), nullptr, 0},
            {RemoveKey(L"fleeting\\tree"), nullptr, 0}};
  }

  // --- Running and checking -------------------------------------------

  void Build() {
    ClearAll();
    (this->*scenario_->build)();
  }

  State Snapshot() {
    State state;
    base::FileEnumerator files(
        folder_.path(), true,
        base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
    for (FilePath entry = files.Next(); !entry.empty(); entry = files.Next()) {
      std::string name = entry.AsUTF8Unsafe();
      name.erase(0, folder_.path().AsUTF8Unsafe().size());
      const DWORD attributes = files.GetInfo().find_data().dwFileAttributes;
      state["A " + name] = std::to_string(
          attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY));
      // Wine makes up the list of any other file from its read-only mark.
      // A deletion's temporary name carries the list of the name before it.
      if (std::any_of(guarded_.begin(), guarded_.end(),
                      [&](const std::string& g) { return !name.rfind(g, 0); }))
        state["S " + name] = FileSddl(entry);
      if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        continue;
      std::string contents;
      if (!base::ReadFileToString(entry, &contents))
        contents = "<unreadable>";
      state["F " + name] = contents;
    }
    DescribeKey(key_, &state);
    return state;
  }

  // Executes the first |count| steps, then |extra| when given, stopping at
  // the first failure; true when all succeeded.
  bool Execute(Transaction* transaction, size_t count, Operation* extra) {
    for (size_t i = 0; i < count; ++i) {
      if (!transaction->AddAndExecute(steps_[i].make())) {
        delete extra;
        return false;
      }
    }
    return !extra || transaction->AddAndExecute(extra);
  }
  bool ExecuteAll(Transaction* transaction) {
    return Execute(transaction, steps_.size(), nullptr);
  }

  void Report(const std::string& what,
              const std::vector<std::string>& lines,
              const std::string& log) {
    std::string report = std::string(scenario_->name) + ": " + what;
    if (++failures_ > 8) {
      ADD_FAILURE() << report << " (differences as above)";
      return;
    }
    for (const std::string& line : lines)
      report += "\n  " + line;
    if (!log.empty())
      report += "\n  log:\n" + log;
    ADD_FAILURE() << report;
  }

  // The state must be |expected| exactly.
  void Check(const State& expected,
             const std::string& what,
             const std::string& log = std::string()) {
    const State actual = Snapshot();
    std::vector<std::string> lines;
    for (const auto& entry : expected) {
      auto found = actual.find(entry.first);
      if (found == actual.end())
        lines.push_back("- " + entry.first + " " + entry.second);
      else if (found->second != entry.second)
        lines.push_back("- " + entry.first + " " + entry.second + "\n  + " +
                        entry.first + " " + found->second);
    }
    for (const auto& entry : actual) {
      if (!expected.count(entry.first))
        lines.push_back("+ " + entry.first + " " + entry.second);
    }
    if (!lines.empty())
      Report(what, lines, log);
  }

  // Nothing of |expected| is lost, and no access list is wider; a file may
  // be under another name that |log| gives.
  void CheckNothingLost(const State& expected,
                        const std::string& what,
                        const std::string& log) {
    const State actual = Snapshot();
    const std::string root = folder_.path().AsUTF8Unsafe();
    // Whether the log names the file |name| or a folder above it.
    auto named = [&](std::string name) {
      for (; name.size() > 1; name.erase(name.rfind('\\'))) {
        if (Names(log, root + name))
          return true;
      }
      return false;
    };
    std::vector<std::string> lines;
    for (const auto& entry : expected) {
      const char kind = entry.first[0];
      auto found = actual.find(entry.first);
      const bool same =
          found != actual.end() &&
          (found->second == entry.second ||
           ((kind == 'K' || kind == 'S') &&
            NoWider(found->second, entry.second)));
      if (same || kind == 'A')
        continue;
      if (kind == 'F' || (kind == 'S' && found == actual.end())) {
        auto elsewhere = std::find_if(
            actual.begin(), actual.end(), [&](const State::value_type& e) {
              return e.first[0] == kind && named(e.first.substr(2)) &&
                     (e.second == entry.second ||
                      (kind == 'S' && NoWider(e.second, entry.second)));
            });
        if (elsewhere == actual.end())
          lines.push_back("lost " + entry.first + " " + entry.second);
      } else if (found == actual.end()) {
        lines.push_back("lost " + entry.first + " " + entry.second);
      } else {
        lines.push_back(entry.first + " " + entry.second + " now " +
                        found->second);
      }
    }
    // Whatever name a guarded file is left under, its list is no wider.
    for (const auto& entry : actual) {
      for (const std::string& guarded : guarded_) {
        auto was = before_.find("S " + guarded);
        if (entry.first[0] == 'S' && !entry.first.rfind("S " + guarded, 0) &&
            was != before_.end() && !NoWider(entry.second, was->second))
          lines.push_back(entry.first + " wider: " + entry.second);
      }
    }
    if (!lines.empty())
      Report(what, lines, log);
  }

  // After a run that failed: exactly as before, or, where another program
  // acted, nothing lost.
  void CheckFailed(const State& before,
                   const std::string& what,
                   const std::string& log) {
    if (scenario_->someone_else)
      CheckNothingLost(before, what, log);
    else
      Check(before, what, log);
  }

  // Fails each call of |phase| once in turn, each way.
  void SweepCalls(Phase phase,
                  int calls,
                  const State& before,
                  const State& committed) {
    for (const DWORD error :
         {DWORD{ERROR_ACCESS_DENIED},
          platform_rules::ScopedFaultInjection::kOutOfResources}) {
      for (int call = 1; call <= calls; ++call) {
        Build();
        std::string what = "call " + std::to_string(call) + " of the " +
                           (phase == EXECUTE    ? "execution"
                            : phase == ROLLBACK ? "rollback"
                                                : "commit") +
                           " failing with " +
                           (error == ERROR_ACCESS_DENIED ? "access denied"
                                                         : "no resources");
        base::ScopedLogCapture log;
        bool done;
        {
          platform_rules::ScopedFaultInjection inject(call, error, nullptr,
                                                      phase == EXECUTE);
          {
            Transaction transaction;
            done = ExecuteAll(&transaction);
            if (phase == ROLLBACK)
              inject.Start();
            if (!done || phase == ROLLBACK)
              transaction.Rollback();
            if (phase == COMMIT)
              inject.Start();
          }
          what += " (" + inject.failed_function() + ")";
        }
        if (phase == EXECUTE && done && !scenario_->succeeds) {
          Report(what + ": done, not refused", {}, log.text);
        } else if (phase == EXECUTE && done) {
          Check(committed, what + ", committed", log.text);
        } else if (phase == EXECUTE) {
          CheckFailed(before, what, log.text);
        } else {
          CheckNothingLost(phase == ROLLBACK ? before : committed, what,
                           log.text);
        }
      }
    }
  }

  // Each operation in turn fails: the one after it, and (where a held file
  // can stop it) the operation itself.
  void SweepOperations(const State& before) {
    for (size_t k = 0; k <= steps_.size(); ++k) {
      Build();
      {
        base::ScopedLogCapture log;
        {
          Transaction transaction;
          EXPECT_FALSE(Execute(&transaction, k, new FailingOperation));
          transaction.Rollback();
        }
        CheckFailed(before, "failing operation after " + std::to_string(k),
                    log.text);
      }
      if (k == steps_.size() || !steps_[k].held)
        continue;
      Build();
      base::ScopedLogCapture log;
      {
        HANDLE held = ::CreateFileW(as_wcstr(Path(steps_[k].held).value()),
                                    GENERIC_READ, steps_[k].held_share,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        Transaction transaction;
        EXPECT_FALSE(Execute(&transaction, k + 1, nullptr)) << k;
        transaction.Rollback();
        ::CloseHandle(held);
      }
      CheckFailed(before, "operation " + std::to_string(k) + " held up",
                  log.text);
    }
  }

  void Run() {
    steps_ = (this->*scenario_->steps)();
    Build();
    if (HasFatalFailure())
      return;
    before_ = Snapshot();
    const State& before = before_;

    // Clean runs: what a commit leaves, that a rollback leaves nothing, and
    // how many platform calls each phase makes.
    int calls[3] = {};
    State committed;
    std::string clean_log;
    {
      base::ScopedLogCapture log;
      platform_rules::ScopedFaultInjection count;
      {
        Transaction transaction;
        const bool done = ExecuteAll(&transaction);
        if (phase_ == EXECUTE && done != scenario_->succeeds) {
          Report(done ? "done, not refused" : "failed without a fault", {},
                 log.text);
        }
        calls[EXECUTE] = count.calls();
        if (!done) {
          count.Start();
          transaction.Rollback();
          calls[ROLLBACK] = count.calls();
        }
        count.Start();
      }
      calls[COMMIT] = count.calls();
      clean_log = log.text;
    }
    if (scenario_->succeeds) {
      committed = Snapshot();
      EXPECT_NE(before, committed);
      for (const auto& entry : scenario_->committed) {
        if (committed[entry.first] != entry.second) {
          Report("committed", {entry.first + " " + committed[entry.first]},
                 std::string());
        }
      }
    } else if (phase_ == EXECUTE) {
      CheckFailed(before, "refused", clean_log);
    }
    if (scenario_->succeeds && phase_ == ROLLBACK) {
      Build();
      base::ScopedLogCapture log;
      {
        platform_rules::ScopedFaultInjection count(0, 0, nullptr, false);
        Transaction transaction;
        EXPECT_TRUE(ExecuteAll(&transaction));
        count.Start();
        transaction.Rollback();
        calls[ROLLBACK] = count.calls();
      }
      Check(before, "clean rollback", log.text);
    }
    ASSERT_GT(calls[EXECUTE], 0);

    if (phase_ == EXECUTE)
      SweepOperations(before);
    if (phase_ != COMMIT || scenario_->succeeds)
      SweepCalls(phase_, calls[phase_], before, committed);
  }

  // Before anything else: key access lists (and their propagation), folder
  // renames, links and taking ownership follow Windows' rules.
  platform_rules::ScopedWindowsRegistryAccessRules registry_rules_;
  platform_rules::ScopedWindowsFolderRenameRules rename_rules_;
  platform_rules::ScopedWindowsLinkRules link_rules_;
  platform_rules::ScopedWindowsTakeOwnershipRules ownership_rules_;
  platform_rules::ScopedWindowsFileAccessLists file_lists_;
  base::TestFolder folder_;
  platform_rules::ScopedOtherVolume other_volume_{
      as_wcstr(folder_.path().AppendASCII("other").value()), true};
  platform_rules::ScopedWindowsFileIndexes file_indexes_;
  std::wstring key_;
  const Scenario* scenario_ = nullptr;
  Phase phase_ = EXECUTE;
  std::vector<Step> steps_;
  // Files whose access lists the scenario set, relative to the folder.
  std::set<std::string> guarded_;
  State before_;
  // Failed cases so far: the first few are reported in full.
  int failures_ = 0;
  // Touches copied files, for the scenario that needs it.
  std::unique_ptr<platform_rules::ScopedImportHook> toucher_;
};

const TransactionFaultSweepTest::Scenario
    TransactionFaultSweepTest::kScenarios[] = {
        {"Mixed", &TransactionFaultSweepTest::BuildMixed,
         &TransactionFaultSweepTest::MixedSteps, true},
        {"MoveOntoFile", &TransactionFaultSweepTest::BuildMoveOnto,
         &TransactionFaultSweepTest::MoveOntoSteps, true},
        {"FolderToOtherVolume", &TransactionFaultSweepTest::BuildOtherVolume,
         &TransactionFaultSweepTest::OtherVolumeSteps, true},
        {"FolderMoveStopped", &TransactionFaultSweepTest::BuildStopped,
         &TransactionFaultSweepTest::StoppedSteps, false, {}, true},
        {"MovedOnAcrossVolumes", &TransactionFaultSweepTest::BuildMovedOn,
         &TransactionFaultSweepTest::MovedOnSteps, true},
        {"LinkInPath", &TransactionFaultSweepTest::BuildLink,
         &TransactionFaultSweepTest::LinkSteps, false},
        {"WidenedKeyDeleted", &TransactionFaultSweepTest::BuildWidenedKey,
         &TransactionFaultSweepTest::WidenedKeySteps, true},
        {"InheritedAccess", &TransactionFaultSweepTest::BuildInherited,
         &TransactionFaultSweepTest::InheritedSteps, true},
        {"Aliases", &TransactionFaultSweepTest::BuildAliases,
         &TransactionFaultSweepTest::AliasesSteps, true,
         {{"F \\app\\moved.txt", "moved"},
          {"A \\app\\moved.txt", "1"},
          {"A \\src\\ro.txt", "1"}}},
        {"TouchedDuringMove",
         &TransactionFaultSweepTest::BuildTouchedDuringMove,
         &TransactionFaultSweepTest::TouchedDuringMoveSteps, false, {}, true},
        {"TakenAfterRoom", &TransactionFaultSweepTest::BuildTakenAfterRoom,
         &TransactionFaultSweepTest::TakenAfterRoomSteps, false, {}, true},
        {"HardLinkedReadOnly", &TransactionFaultSweepTest::BuildHardLink,
         &TransactionFaultSweepTest::HardLinkSteps, true,
         {{"A \\app\\kept.txt", "1"}}},
        {"LockedDeleted", &TransactionFaultSweepTest::BuildLocked,
         &TransactionFaultSweepTest::LockedSteps, true},
        {"KeyKinds", &TransactionFaultSweepTest::BuildKeyKinds,
         &TransactionFaultSweepTest::KeyKindsSteps, true},
};
const int TransactionFaultSweepTest::kScenarioCount =
    static_cast<int>(std::size(TransactionFaultSweepTest::kScenarios));

}  // namespace

TEST_P(TransactionFaultSweepTest, NothingLost) {
  Run();
}

std::string CaseName(const testing::TestParamInfo<std::tuple<int, Phase>>& info) {
  static const char* const kPhases[] = {"Execute", "Rollback", "Commit"};
  return std::string(
             TransactionFaultSweepTest::kScenarios[std::get<0>(info.param)]
                 .name) +
         kPhases[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(
    ,
    TransactionFaultSweepTest,
    testing::Combine(
        testing::Range(0, TransactionFaultSweepTest::kScenarioCount),
        testing::Values(EXECUTE, ROLLBACK, COMMIT)),
    CaseName);

}  // namespace installer
