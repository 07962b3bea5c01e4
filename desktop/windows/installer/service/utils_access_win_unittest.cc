#include "desktop/windows/installer/service/utils.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"
#include "testing/win/registry_rules.h"

namespace installer {

namespace {

// The object's access list in text form.
std::wstring DaclText(const std::wstring& object_name,
                      SE_OBJECT_TYPE type = SE_REGISTRY_KEY) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(const_cast<wchar_t*>(object_name.c_str()),
                              type, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
    return L"<unreadable>";
  }
  wchar_t* text = nullptr;
  std::wstring result;
  if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    result = text;
    ::LocalFree(text);
  }
  ::LocalFree(descriptor);
  return result;
}

// Another account's name, as a name lookup may find on a domain machine
// with a local account of the user's name.
BOOL WINAPI OtherAccountName(LPWSTR buffer, LPDWORD size) {
  const wchar_t kName[] = L"SYSTEM";
  if (*size < ARRAYSIZE(kName))
    return FALSE;
  wcscpy(buffer, kName);
  *size = ARRAYSIZE(kName);
  return TRUE;
}

std::wstring TokenUserSid() {
  HANDLE token = nullptr;
  BYTE buffer[256];
  DWORD size = 0;
  wchar_t* text = nullptr;
  std::wstring sid;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) &&
      ::GetTokenInformation(token, TokenUser, buffer, sizeof(buffer),
                            &size) &&
      ::ConvertSidToStringSidW(
          reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
    sid = text;
    ::LocalFree(text);
  }
  if (token)
    ::CloseHandle(token);
  return sid;
}

// GetFinalPathNameByHandleW as Windows answers it for paths of any length
// on drive C: (Wine fails beyond MAX_PATH with ERROR_MORE_DATA).
DWORD WINAPI LongFinalPath(HANDLE file, LPWSTR buffer, DWORD size, DWORD) {
  alignas(FILE_NAME_INFO) BYTE info[sizeof(FILE_NAME_INFO) + 65536];
  if (!::GetFileInformationByHandleEx(file, FileNameInfo, info, sizeof(info)))
    return 0;
  const FILE_NAME_INFO* name = reinterpret_cast<FILE_NAME_INFO*>(info);
  const std::wstring path =
      L"\\\\?\\C:" +
      std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t));
  if (size <= path.size())
    return static_cast<DWORD>(path.size() + 1);
  wcscpy(buffer, path.c_str());
  return static_cast<DWORD>(path.size());
}

// The file OpenFileById opens whatever it is asked for: what a file system
// whose ids are wider than the index they are read from may answer.
const wchar_t* g_by_id = nullptr;
HANDLE WINAPI OtherFileById(HANDLE, LPFILE_ID_DESCRIPTOR, DWORD access,
                            DWORD share, LPSECURITY_ATTRIBUTES, DWORD flags) {
  return ::CreateFileW(g_by_id, access, share, nullptr, OPEN_EXISTING, flags,
                       nullptr);
}

}  // namespace

TEST(AccessTest, GrantAndRestore) {
  // Before any list is read: files keep their lists as on Windows.
  platform_rules::ScopedWindowsFileAccessLists file_lists;
  platform_rules::ScopedWindowsRegistryAccessRules rules;
  const std::wstring key = base::TestRegistryParent() + L"\\access";
  HKEY handle = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            ::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr));
  // Shut off from what its parent hands down, which every grant keeps.
  PSECURITY_DESCRIPTOR sealed = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(A;OICI;KA;;;BA)(A;OICI;KA;;;BU)", SDDL_REVISION_1, &sealed,
      nullptr));
  EXPECT_EQ(ERROR_SUCCESS,
            ::RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, sealed));
  ::LocalFree(sealed);
  ::RegCloseKey(handle);
  const std::wstring name = L"CURRENT_USER\\" + key;
  const std::wstring before = DaclText(name);

  std::unique_ptr<SavedAccess> saved;
  {
    // The grant goes to the token's user, whatever its name leads to.
    platform_rules::ScopedImportHook name_hook(
        "GetUserNameW", reinterpret_cast<void*>(&OtherAccountName));
    ASSERT_TRUE(GrantUserAccess(name, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY,
                                false, &saved));
  }
  ASSERT_TRUE(saved);
  const std::wstring granted = DaclText(name);
  EXPECT_NE(std::wstring::npos, granted.find(L";;;" + TokenUserSid() + L")"))
      << granted;
  EXPECT_EQ(0u, granted.find(L"D:P")) << granted;
  EXPECT_TRUE(HasAccess(name, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY));
  EXPECT_TRUE(RestoreAccess(&saved));
  EXPECT_FALSE(saved);
  EXPECT_EQ(before, DaclText(name));
  EXPECT_FALSE(RestoreAccess(&saved));

  // One key through two roots is one object: the second grant saves the
  // list from before the first, so the key ends as it was whichever record
  // goes back last.
  for (bool users_first : {false, true}) {
    SCOPED_TRACE(users_first ? "USERS restored first" : "CURRENT_USER first");
    const std::wstring other_name = L"USERS\\" + TokenUserSid() + L"\\" + key;
    std::unique_ptr<SavedAccess> other;
    ASSERT_TRUE(GrantUserAccess(name, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY,
                                false, &saved));
    ASSERT_TRUE(GrantUserAccess(other_name, SE_REGISTRY_KEY, KEY_SET_VALUE,
                                false, &other));
    EXPECT_TRUE(RestoreAccess(users_first ? &other : &saved));
    EXPECT_TRUE(RestoreAccess(users_first ? &saved : &other));
    EXPECT_EQ(before, DaclText(name));
  }

  // A file that took another's name between two grants is another object:
  // each gets its own list back.
  base::TestFolder folder;
  const std::wstring files[] = {
      as_wcstr(folder.path().AppendASCII("x.dat").value()),
      as_wcstr(folder.path().AppendASCII("y.dat").value())};
  const wchar_t* const kLists[] = {L"D:P(A;;FR;;;WD)",
                                   L"D:P(A;;FR;;;BA)(A;;FA;;;SY)"};
  std::wstring lists[2];
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(1, base::WriteFile(base::FilePath(as_u16cstr(files[i].c_str())),
                                 "x", 1));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        kLists[i], SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_TRUE(::SetFileSecurityW(files[i].c_str(), DACL_SECURITY_INFORMATION,
                                   descriptor));
    ::LocalFree(descriptor);
    lists[i] = DaclText(files[i], SE_FILE_OBJECT);
  }
  ASSERT_NE(lists[0], lists[1]);
  const std::wstring aside = files[0] + L".old";
  std::unique_ptr<SavedAccess> other;
  ASSERT_TRUE(GrantUserAccess(files[0], SE_FILE_OBJECT, FILE_GENERIC_WRITE,
                              false, &saved));
  ASSERT_TRUE(::MoveFileW(files[0].c_str(), aside.c_str()));
  ASSERT_TRUE(::MoveFileW(files[1].c_str(), files[0].c_str()));
  ASSERT_TRUE(GrantUserAccess(files[0], SE_FILE_OBJECT, FILE_GENERIC_WRITE,
                              false, &other));
  EXPECT_TRUE(RestoreAccess(&other));
  EXPECT_TRUE(RestoreAccessAt(aside, &saved));
  EXPECT_EQ(lists[1], DaclText(files[0], SE_FILE_OBJECT));
  EXPECT_EQ(lists[0], DaclText(aside, SE_FILE_OBJECT));
  // Never onto the file that took the name since.
  ASSERT_TRUE(GrantUserAccess(aside, SE_FILE_OBJECT, FILE_GENERIC_WRITE,
                              false, &saved));
  ASSERT_TRUE(::MoveFileExW(files[0].c_str(), aside.c_str(),
                            MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(RestoreAccess(&saved));
  EXPECT_EQ(lists[1], DaclText(aside, SE_FILE_OBJECT));
  // Nor onto another file that answers the file's id.
  ASSERT_EQ(1, base::WriteFile(base::FilePath(as_u16cstr(files[1].c_str())),
                               "x", 1));
  const std::wstring unrelated = DaclText(files[1], SE_FILE_OBJECT);
  {
    g_by_id = files[1].c_str();
    platform_rules::ScopedImportHook by_id(
        "OpenFileById", reinterpret_cast<void*>(&OtherFileById));
    EXPECT_FALSE(GrantUserAccess(aside, SE_FILE_OBJECT, FILE_GENERIC_WRITE,
                                 false, &saved));
  }
  EXPECT_EQ(unrelated, DaclText(files[1], SE_FILE_OBJECT));

  // A permanent grant hands out nothing to undo.
  ASSERT_TRUE(GrantUserAccess(name, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY, true,
                              &saved));
  EXPECT_FALSE(saved);
  EXPECT_EQ(0u, DaclText(name).find(L"D:P")) << DaclText(name);
  EXPECT_FALSE(HasAccess(name, SE_UNKNOWN_OBJECT_TYPE, KEY_READ));

  ::SHDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

// Access is changed on the name itself, never through a link to something
// else: a junction or hard link planted in a folder the user may write
// would otherwise hand out a system file.
TEST(AccessTest, GrantRefusesLinks) {
  base::TestFolder folder;
  const base::FilePath file = folder.path().AppendASCII("file");
  const base::FilePath hard_link = folder.path().AppendASCII("hard_link");
  const base::FilePath target = folder.path().AppendASCII("target");
  const base::FilePath folder_link = folder.path().AppendASCII("folder_link");
  ASSERT_EQ(1, base::WriteFile(file, "x", 1));
  ASSERT_TRUE(base::CreateDirectory(target));
  const std::wstring file_name = as_wcstr(file.value());
  const std::wstring target_name = as_wcstr(target.value());
  const std::wstring file_dacl = DaclText(file_name, SE_FILE_OBJECT);
  const std::wstring target_dacl = DaclText(target_name, SE_FILE_OBJECT);

  ASSERT_TRUE(::CreateHardLinkW(as_wcstr(hard_link.value()), file_name.c_str(),
                                nullptr));
  EXPECT_FALSE(GrantUserAccess(file_name, SE_FILE_OBJECT, FILE_GENERIC_WRITE,
                               true, nullptr));
  EXPECT_EQ(file_dacl, DaclText(file_name, SE_FILE_OBJECT));
  // With its only name left, the same file is granted.
  ASSERT_TRUE(base::DeleteFile(hard_link, false));
  EXPECT_TRUE(GrantUserAccess(file_name, SE_FILE_OBJECT, FILE_GENERIC_WRITE,
                              true, nullptr));

  // The same file named in other case, or through its folders' short
  // names, is no link.
  const base::FilePath long_folder = folder.path().AppendASCII("Long Folder Name");
  ASSERT_TRUE(base::CreateDirectory(long_folder));
  const std::wstring long_file =
      as_wcstr(long_folder.AppendASCII("file.txt").value());
  ASSERT_EQ(1, base::WriteFile(long_folder.AppendASCII("file.txt"), "x", 1));
  wchar_t short_name[MAX_PATH];
  ASSERT_NE(0u, ::GetShortPathNameW(long_file.c_str(), short_name, MAX_PATH));
  std::wstring upper = long_file;
  for (wchar_t& c : upper)
    c = towupper(c);
  for (const std::wstring& name : {std::wstring(short_name), upper}) {
    EXPECT_TRUE(GrantUserAccess(name, SE_FILE_OBJECT, FILE_GENERIC_WRITE,
                                true, nullptr))
        << base::WideToUTF8(name);
  }

  // The link itself, opened as the link as on Windows, and a file reached
  // through it.
  const base::FilePath inner = target.AppendASCII("inner");
  ASSERT_EQ(1, base::WriteFile(inner, "x", 1));
  const std::wstring inner_dacl =
      DaclText(as_wcstr(inner.value()), SE_FILE_OBJECT);
  ASSERT_TRUE(base::MakeFolderLink(folder_link, target));
  for (const base::FilePath& path :
       {folder_link, folder_link.AppendASCII("inner")}) {
    platform_rules::ScopedWindowsLinkRules links;
    EXPECT_FALSE(GrantUserAccess(as_wcstr(path.value()), SE_FILE_OBJECT,
                                 FILE_GENERIC_WRITE, true, nullptr))
        << path.AsUTF8Unsafe();
  }
  EXPECT_EQ(target_dacl, DaclText(target_name, SE_FILE_OBJECT));
  EXPECT_EQ(inner_dacl, DaclText(as_wcstr(inner.value()), SE_FILE_OBJECT));
  base::RemoveLinkUnderWine(folder_link);
}

// A file beyond MAX_PATH, named in the form that reaches it, is granted.
TEST(AccessTest, GrantReachesLongPaths) {
  base::TestFolder folder;
  std::wstring deep_name = L"\\\\?\\" + std::wstring(as_wcstr(folder.path().value()));
  for (int i = 0; i < 6; ++i) {
    deep_name += L"\\" + std::wstring(50, L'a' + i);
    ASSERT_TRUE(::CreateDirectoryW(deep_name.c_str(), nullptr));
  }
  deep_name += L"\\file.txt";
  ::CloseHandle(::CreateFileW(deep_name.c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(deep_name.c_str()));
  ASSERT_GT(deep_name.size(), static_cast<size_t>(MAX_PATH) + 4);
  // Wine's answer stops at MAX_PATH; Windows' does not.
  platform_rules::ScopedImportHook final_path(
      "GetFinalPathNameByHandleW", reinterpret_cast<void*>(&LongFinalPath));
  EXPECT_TRUE(GrantUserAccess(deep_name, SE_FILE_OBJECT, FILE_GENERIC_WRITE,
                              true, nullptr));
}

// A file whose list the user may not change: ownership is taken first,
// through a handle that Windows grants WRITE_OWNER only while the
// privilege is on.
TEST(AccessTest, GrantTakesOwnershipWithThePrivilegeOn) {
  base::TestFolder folder;
  const base::FilePath file = folder.path().AppendASCII("owned_elsewhere");
  ASSERT_EQ(1, base::WriteFile(file, "x", 1));
  const std::wstring name = as_wcstr(file.value());
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            ::GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION, &owner,
                                    nullptr, nullptr, nullptr, &descriptor));
  const BYTE* owner_bytes = static_cast<const BYTE*>(owner);
  const std::vector<BYTE> first_owner(owner_bytes,
                                      owner_bytes + ::GetLengthSid(owner));
  ::LocalFree(descriptor);
  platform_rules::ScopedWindowsTakeOwnershipRules rules;
  std::unique_ptr<SavedAccess> saved;
  {
    // The user neither owns the file nor may change its list (Wine can
    // store no such list): the first open for WRITE_DAC is denied.
    platform_rules::ScopedFaultInjection denied(1, ERROR_ACCESS_DENIED,
                                                "OpenFileById");
    EXPECT_TRUE(GrantUserAccess(name, SE_FILE_OBJECT, FILE_GENERIC_WRITE,
                                false, &saved));
    EXPECT_EQ("OpenFileById", denied.failed_function());
  }
  // The owner replaced goes back with the list.
  ASSERT_TRUE(saved);
  EXPECT_EQ(first_owner, saved->owner);
  EXPECT_EQ(0, rules.refused());
  EXPECT_NE(std::wstring::npos,
            DaclText(name, SE_FILE_OBJECT).find(TokenUserSid()));
}

}  // namespace installer
