#include "desktop/windows/installer/service/utils.h"

#include <windows.h>
#include <aclapi.h>
#define SECURITY_WIN32
#include <security.h>
#include <shlobj.h>

#include <vector>

#include "base/base_paths_win.h"
#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"

namespace installer {

namespace {

constexpr DWORD kUserNameBufferChars = 257;  // UNLEN + 1

typedef HRESULT(WINAPI* GetKnownFolderPathFunction)(REFKNOWNFOLDERID,
                                                     DWORD,
                                                     HANDLE,
                                                     PWSTR*);

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a,
              const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// Whether |resolved| is |target| by name or, given |target_info|, by
// identity.
bool IsSameTarget(const base::FilePath& resolved,
                  const base::FilePath& target,
                  const BY_HANDLE_FILE_INFORMATION* target_info) {
  // A shortcut that could not be resolved points nowhere, not to "".
  if (resolved.empty())
    return false;
  if (base::FilePath::CompareIgnoreCase(resolved.value(), target.value()) == 0)
    return true;
  BY_HANDLE_FILE_INFORMATION resolved_info;
  return target_info &&
         GetFileInformation(resolved, &resolved_info) &&
         SameFile(resolved_info, *target_info);
}

bool MakeAdministratorsSid(PSID* sid) {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  return ::AllocateAndInitializeSid(&nt_authority, 2,
                                    SECURITY_BUILTIN_DOMAIN_RID,
                                    DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    sid) != FALSE;
}

// Replaces |token| by its linked full token when it is a limited one.
bool UseLinkedTokenIfLimited(base::win::ScopedHandle* token) {
  TOKEN_ELEVATION_TYPE elevation_type;
  DWORD size = 0;
  if (!::GetTokenInformation(token->Get(), TokenElevationType, &elevation_type,
                             sizeof(elevation_type), &size)) {
    return false;
  }
  if (elevation_type != TokenElevationTypeLimited)
    return true;
  TOKEN_LINKED_TOKEN linked;
  if (!::GetTokenInformation(token->Get(), TokenLinkedToken, &linked,
                             sizeof(linked), &size)) {
    return false;
  }
  token->Set(linked.LinkedToken);
  return true;
}

}  // namespace

bool GetCurrentUserNameEx(std::wstring* name, EXTENDED_NAME_FORMAT format) {
  ULONG size = 0;
  if (!::GetUserNameExW(format, nullptr, &size) &&
      ::GetLastError() != ERROR_MORE_DATA) {
    return false;
  }
  // The size may or may not count the NUL; one more character covers both.
  std::vector<wchar_t> buffer(size + 1, L'\0');
  ULONG chars = size + 1;
  if (!::GetUserNameExW(format, buffer.data(), &chars))
    return false;
  buffer.back() = L'\0';
  *name = buffer.data();
  return true;
}

bool GetUserDisplayName(std::wstring* name) {
  return GetCurrentUserNameEx(name, NameDisplay);
}

bool GetCurrentUserName(std::wstring* name) {
  wchar_t buffer[kUserNameBufferChars] = {};
  DWORD chars = kUserNameBufferChars;
  if (!::GetUserNameW(buffer, &chars))
    return false;
  buffer[kUserNameBufferChars - 1] = L'\0';
  *name = buffer;
  return true;
}

bool IsUserAdmin(bool use_linked_token) {
  HANDLE process_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE,
                          &process_token)) {
    return false;
  }
  base::win::ScopedHandle token(process_token);
  if (use_linked_token && base::win::GetVersion() >= base::win::OSInfo::VERSION_VISTA &&
      !UseLinkedTokenIfLimited(&token)) {
    return false;
  }
  HANDLE duplicate = nullptr;
  if (!::DuplicateToken(token.Get(), SecurityIdentification, &duplicate))
    return false;
  base::win::ScopedHandle identification_token(duplicate);

  PSID administrators = nullptr;
  if (!MakeAdministratorsSid(&administrators))
    return false;
  BOOL is_member = FALSE;
  bool checked = ::CheckTokenMembership(identification_token.Get(),
                                        administrators, &is_member) != FALSE;
  ::FreeSid(administrators);
  return checked && is_member;
}

bool IsElevationNeeded(bool all_users, bool folder_writable) {
  if (IsUserAdmin(false))
    return false;
  return all_users || !folder_writable;
}

bool GetKnownFolderPath(REFKNOWNFOLDERID id,
                        int csidl,
                        base::FilePath* path,
                        bool create) {
  HMODULE shell32 = ::GetModuleHandleW(L"shell32.dll");
  GetKnownFolderPathFunction get_known_folder_path =
      shell32 ? reinterpret_cast<GetKnownFolderPathFunction>(
                    ::GetProcAddress(shell32, "SHGetKnownFolderPath"))
              : nullptr;
  if (get_known_folder_path) {
    PWSTR text = nullptr;
    HRESULT result = get_known_folder_path(id, 0, nullptr, &text);
    if (FAILED(result) && create) {
      ::CoTaskMemFree(text);
      text = nullptr;
      result = get_known_folder_path(id, KF_FLAG_CREATE | KF_FLAG_INIT,
                                     nullptr, &text);
    }
    if (FAILED(result) || !text) {
      ::CoTaskMemFree(text);
      return false;
    }
    *path = base::FilePath(as_u16cstr(text));
    ::CoTaskMemFree(text);
    return true;
  }

  wchar_t buffer[MAX_PATH + 1] = {};
  HRESULT result = ::SHGetFolderPathW(nullptr, csidl, nullptr, 0, buffer);
  if (FAILED(result) && result != E_INVALIDARG && create) {
    result = ::SHGetFolderPathW(
        nullptr, csidl | CSIDL_FLAG_CREATE | CSIDL_FLAG_DONT_UNEXPAND, nullptr,
        0, buffer);
  }
  if (FAILED(result))
    return false;
  buffer[MAX_PATH] = L'\0';
  *path = base::FilePath(as_u16cstr(buffer));
  return true;
}

base::FilePath FindTaskbarPin(const base::FilePath& target,
                              const BY_HANDLE_FILE_INFORMATION* target_info) {
  if (base::win::GetVersion() < base::win::OSInfo::VERSION_WIN7)
    return base::FilePath();

  base::FilePath pins;
  if (!base::PathService::Get(base::DIR_TASKBAR_PINS, &pins) ||
      !base::DirectoryExists(pins)) {
    LOG(ERROR) << "Couldn't find path to taskbar pins.";
    return base::FilePath();
  }

  base::FileEnumerator shortcuts(pins, false, base::FileEnumerator::FILES,
                                 u"*.lnk");
  for (base::FilePath shortcut = shortcuts.Next(); !shortcut.empty();
       shortcut = shortcuts.Next()) {
    base::FilePath resolved;
    if (!base::win::ResolveShortcut(shortcut, &resolved)) {
      LOG(ERROR) << "Couldn't resolve shortcut at " << shortcut.value();
      continue;
    }
    if (IsSameTarget(resolved, target, target_info))
      return shortcut;
  }
  return base::FilePath();
}

bool ShortcutPointsTo(const base::FilePath& shortcut,
                      const base::FilePath& target,
                      const BY_HANDLE_FILE_INFORMATION* target_info) {
  VLOG(1) << "Testing shortcut" << shortcut.value();
  if (shortcut.empty() || !base::PathExists(shortcut))
    return false;
  base::FilePath resolved;
  if (!base::win::ResolveShortcut(shortcut, &resolved))
    resolved = base::FilePath();
  return IsSameTarget(resolved, target, target_info);
}

bool GetFileInformation(const base::FilePath& path,
                        BY_HANDLE_FILE_INFORMATION* info) {
  base::File file(path, base::File::FLAG_OPEN);
  return file.IsValid() &&
         ::GetFileInformationByHandle(file.GetPlatformFile(), info) != FALSE;
}

// Access lists.

namespace {

// Frees memory the security functions hand out with LocalAlloc.
struct LocalFreeDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

bool GetGenericMapping(SE_OBJECT_TYPE object_type, GENERIC_MAPPING* mapping) {
  if (object_type == SE_FILE_OBJECT) {
    *mapping = {0x120089, 0x120116, 0x1200A0, 0x1F01FF};
    return true;
  }
  if (object_type == SE_REGISTRY_KEY) {
    *mapping = {0x20019, 0x20006, 0x20019, 0xF003F};
    return true;
  }
  return false;
}

// A duplicate of the process token fit for access and membership checks.
bool GetIdentificationToken(base::win::ScopedHandle* token) {
  HANDLE process_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE,
                          &process_token)) {
    return false;
  }
  base::win::ScopedHandle owned_process_token(process_token);
  HANDLE duplicate = nullptr;
  if (!::DuplicateToken(process_token, SecurityIdentification, &duplicate))
    return false;
  token->Set(duplicate);
  return true;
}

bool OpenAdjustableToken(HANDLE* token) {
  return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES,
                            token) != 0;
}

// Clears |access| from every deny entry that applies to the current user.
void LiftDenyEntries(EXPLICIT_ACCESS_W* entries, ULONG count, DWORD access) {
  base::win::ScopedHandle token;
  if (!GetIdentificationToken(&token))
    return;
  for (ULONG i = 0; i < count; ++i) {
    EXPLICIT_ACCESS_W& entry = entries[i];
    if (entry.grfAccessMode != DENY_ACCESS ||
        entry.Trustee.TrusteeForm != TRUSTEE_IS_SID) {
      continue;
    }
    BOOL member = FALSE;
    if (::CheckTokenMembership(token.Get(),
                               reinterpret_cast<PSID>(entry.Trustee.ptstrName),
                               &member) &&
        member) {
      entry.grfAccessPermissions &= ~access;
    }
  }
}

// Reads the access list of the object, taking ownership once when that is
// denied. |descriptor| owns what |dacl| points into.
bool GetDacl(const std::wstring& object_name,
             SE_OBJECT_TYPE object_type,
             PACL* dacl,
             PSECURITY_DESCRIPTOR* descriptor) {
  wchar_t* name = const_cast<wchar_t*>(object_name.c_str());
  DWORD result =
      ::GetNamedSecurityInfoW(name, object_type, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr, descriptor);
  if (result == ERROR_ACCESS_DENIED) {
    if (!TakeOwnership(object_name, object_type))
      return false;
    result =
        ::GetNamedSecurityInfoW(name, object_type, DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, dacl, nullptr, descriptor);
  }
  return result == ERROR_SUCCESS;
}

DWORD SetDacl(const std::wstring& object_name,
              SE_OBJECT_TYPE object_type,
              PACL dacl) {
  return ::SetNamedSecurityInfoW(const_cast<wchar_t*>(object_name.c_str()),
                                 object_type, DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, dacl, nullptr);
}

// The list |old_dacl| holds explicitly, with the user's deny entries lifted
// and |access| granted to |user_name|. Null on failure.
PACL BuildGrantedDacl(PACL old_dacl, wchar_t* user_name, DWORD access) {
  ULONG count = 0;
  EXPLICIT_ACCESS_W* raw_entries = nullptr;
  if (::GetExplicitEntriesFromAclW(old_dacl, &count, &raw_entries) !=
      ERROR_SUCCESS) {
    return nullptr;
  }
  std::unique_ptr<EXPLICIT_ACCESS_W, LocalFreeDeleter> entries(raw_entries);
  LiftDenyEntries(entries.get(), count, access);

  EXPLICIT_ACCESS_W grant = {};
  ::BuildExplicitAccessWithNameW(&grant, user_name, access, GRANT_ACCESS,
                                 SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  PACL raw_grant_list = nullptr;
  if (::SetEntriesInAclW(1, &grant, nullptr, &raw_grant_list) != ERROR_SUCCESS)
    return nullptr;
  std::unique_ptr<ACL, LocalFreeDeleter> grant_list(raw_grant_list);

  PACL final_list = nullptr;
  if (::SetEntriesInAclW(count, entries.get(), grant_list.get(),
                         &final_list) != ERROR_SUCCESS) {
    return nullptr;
  }
  return final_list;
}

}  // namespace

SavedAccess::~SavedAccess() {
  if (descriptor)
    ::LocalFree(descriptor);
}

void DeleteSavedAccess(SavedAccess* saved) {
  delete saved;
}

bool HasAccess(const std::wstring& object_name,
               SE_OBJECT_TYPE object_type,
               DWORD desired) {
  GENERIC_MAPPING mapping;
  if (!GetGenericMapping(object_type, &mapping))
    return false;
  base::win::ScopedHandle token;
  if (!GetIdentificationToken(&token))
    return false;

  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  if (::GetNamedSecurityInfoW(const_cast<wchar_t*>(object_name.c_str()),
                              object_type,
                              OWNER_SECURITY_INFORMATION |
                                  GROUP_SECURITY_INFORMATION |
                                  DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr,
                              &raw_descriptor) != ERROR_SUCCESS) {
    return false;
  }
  std::unique_ptr<void, LocalFreeDeleter> descriptor(raw_descriptor);

  ::MapGenericMask(&desired, &mapping);
  PRIVILEGE_SET privileges = {};
  DWORD privileges_size = sizeof(privileges);
  DWORD granted = 0;
  BOOL status = FALSE;
  if (!::AccessCheck(descriptor.get(), token.Get(), desired, &mapping,
                     &privileges, &privileges_size, &granted, &status)) {
    return false;
  }
  return status != FALSE;
}

bool EnablePrivilege(const wchar_t* privilege, bool enable, HANDLE token) {
  base::win::ScopedHandle owned_token(token);
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  if (!::LookupPrivilegeValueW(nullptr, privilege,
                               &privileges.Privileges[0].Luid)) {
    return false;
  }
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  if (!::AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges),
                               nullptr, nullptr)) {
    return false;
  }
  return ::GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

bool TakeOwnership(const std::wstring& object_name,
                   SE_OBJECT_TYPE object_type) {
  const wchar_t kPrivilege[] = L"SeTakeOwnershipPrivilege";
  HANDLE token = nullptr;
  if (!OpenAdjustableToken(&token) || !EnablePrivilege(kPrivilege, true, token))
    return false;

  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!::AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators)) {
    if (OpenAdjustableToken(&token))
      EnablePrivilege(kPrivilege, false, token);
    return false;
  }
  const DWORD result = ::SetNamedSecurityInfoW(
      const_cast<wchar_t*>(object_name.c_str()), object_type,
      OWNER_SECURITY_INFORMATION, administrators, nullptr, nullptr, nullptr);
  ::FreeSid(administrators);

  if (OpenAdjustableToken(&token))
    EnablePrivilege(kPrivilege, false, token);
  return result == ERROR_SUCCESS;
}

bool GrantUserAccess(const std::wstring& object_name,
                     SE_OBJECT_TYPE object_type,
                     DWORD access,
                     bool permanent,
                     std::unique_ptr<SavedAccess>* saved) {
  if (saved)
    saved->reset();

  wchar_t user_name[kUserNameBufferChars] = {};
  DWORD user_name_size = kUserNameBufferChars;
  if (!::GetUserNameW(user_name, &user_name_size))
    return false;

  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR raw_old_descriptor = nullptr;
  if (!GetDacl(object_name, object_type, &old_dacl, &raw_old_descriptor))
    return false;
  std::unique_ptr<void, LocalFreeDeleter> old_descriptor(raw_old_descriptor);

  std::unique_ptr<ACL, LocalFreeDeleter> new_dacl(
      BuildGrantedDacl(old_dacl, user_name, access));
  if (!new_dacl)
    return false;

  DWORD result = SetDacl(object_name, object_type, new_dacl.get());
  if (result == ERROR_ACCESS_DENIED && TakeOwnership(object_name, object_type))
    result = SetDacl(object_name, object_type, new_dacl.get());
  if (result != ERROR_SUCCESS)
    return false;

  if (!permanent && saved) {
    std::unique_ptr<SavedAccess> record(new SavedAccess);
    record->object_name = object_name;
    record->object_type = object_type;
    record->dacl = old_dacl;
    record->descriptor = old_descriptor.release();
    *saved = std::move(record);
  }
  return true;
}

bool RestoreAccess(std::unique_ptr<SavedAccess>* saved) {
  if (!saved || !*saved)
    return false;
  const SavedAccess& record = **saved;
  const DWORD result =
      SetDacl(record.object_name, record.object_type, record.dacl);
  saved->reset();
  return result == ERROR_SUCCESS;
}

}  // namespace installer
