#include "desktop/windows/installer/service/utils.h"

#include <windows.h>
#include <aclapi.h>
#define SECURITY_WIN32
#include <security.h>
#include <shlobj.h>

#include <utility>
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

bool MakeAdministratorsSid(PSID* sid) {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  return ::AllocateAndInitializeSid(&nt_authority, 2,
                                    SECURITY_BUILTIN_DOMAIN_RID,
                                    DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    sid) != FALSE;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a,
              const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

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

}  // namespace installer
