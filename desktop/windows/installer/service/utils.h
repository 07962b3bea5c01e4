#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_UTILS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_UTILS_H_

#if defined(_WIN32)

#include <windows.h>
#include <aclapi.h>

#include <memory>
#include <string>

namespace installer {

// The access list an object had before GrantUserAccess widened it, kept so
// that RestoreAccess can put it back.
struct SavedAccess {
  SavedAccess() = default;
  SavedAccess(const SavedAccess&) = delete;
  SavedAccess& operator=(const SavedAccess&) = delete;
  // Frees |descriptor|.
  ~SavedAccess();

  std::wstring object_name;
  SE_OBJECT_TYPE object_type = SE_UNKNOWN_OBJECT_TYPE;
  // Points into |descriptor|; may be null (an object open to everyone).
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
};

void DeleteSavedAccess(SavedAccess* saved);

// Object names follow the named-security-object convention: a file is its
// path (SE_FILE_OBJECT), a key is "CLASSES_ROOT\", "MACHINE\",
// "CURRENT_USER\" or "USERS\" plus its path (SE_REGISTRY_KEY).

// Whether the current user holds |desired| on the object.
bool HasAccess(const std::wstring& object_name,
               SE_OBJECT_TYPE object_type,
               DWORD desired);

// Turns |privilege| on or off in |token|, which is closed at the end.
bool EnablePrivilege(const wchar_t* privilege, bool enable, HANDLE token);

// Makes the Administrators group the owner of the object.
bool TakeOwnership(const std::wstring& object_name, SE_OBJECT_TYPE object_type);

// Grants the current user |access| on the object (inherited by everything
// below it), first lifting the deny entries that apply to the user. Unless
// |permanent|, the previous access list is handed out in |saved| (may be
// null for permanent grants) so that RestoreAccess can put it back.
bool GrantUserAccess(const std::wstring& object_name,
                     SE_OBJECT_TYPE object_type,
                     DWORD access,
                     bool permanent,
                     std::unique_ptr<SavedAccess>* saved);

// Puts back the access list in |saved| and frees the record. False when
// there is none or the system refuses.
bool RestoreAccess(std::unique_ptr<SavedAccess>* saved);

}  // namespace installer

#endif  // defined(_WIN32)

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_UTILS_H_
