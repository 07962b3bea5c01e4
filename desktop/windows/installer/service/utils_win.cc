#include "desktop/windows/installer/service/utils.h"

#include <windows.h>
#include <aclapi.h>

#include <vector>

#include "base/win/scoped_handle.h"

namespace installer {

namespace {

constexpr DWORD kUserNameChars = 257;  // UNLEN + 1

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

  wchar_t user_name[kUserNameChars] = {};
  DWORD user_name_size = kUserNameChars;
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
