#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_UTILS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_UTILS_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

#if defined(_WIN32)
#include <windows.h>
#include <aclapi.h>
#define SECURITY_WIN32
#include <security.h>
#include <shlobj.h>
#endif

namespace base {
class FilePath;
}

namespace installer {

// Whether |path| may name a folder (|is_folder|) or a file: short enough,
// with a drive, a \\server\share\ or no root, and with no component that
// Windows refuses (bad characters, a leading blank, a trailing blank or full
// stop, a device name such as CON or COM1).
bool IsValidFolderPath(base::StringPiece16 path, bool is_folder);

// Builds the name of a mutex or event: "Global\" or "Local\", then
// |prefix| + "/" + |name| with every backslash turned into "/" (a backslash
// would name a namespace).
void MakeKernelObjectName(string16* out,
                          base::StringPiece16 name,
                          base::StringPiece16 prefix,
                          bool global);

// The browser executable's file name: the branding's file-name base + ".exe".
std::string GetBrowserExeName();

// "Nightly", "Developer", "Next" or "Stable" for the build's channel; the
// release stream name for any other channel.
std::string GetChannelName();

// "Software\" + the company name, the key under which the installer keeps
// its per-company values.
string16 GetCompanyRegistryKey();

#if defined(_WIN32)

// The current user's name in |format|.
bool GetCurrentUserNameEx(std::wstring* name, EXTENDED_NAME_FORMAT format);

// The current user's display name.
bool GetUserDisplayName(std::wstring* name);

// The current user's logon name.
bool GetCurrentUserName(std::wstring* name);

// Whether the process token (or, with |use_linked_token| on Vista and later,
// the full token behind a limited one) belongs to the Administrators group.
bool IsUserAdmin(bool use_linked_token);

// Whether the installer must run elevated to install for all users or into
// a folder the user cannot write.
bool IsElevationNeeded(bool all_users, bool folder_writable);

// The known folder |id|, or |csidl| on systems without known folders;
// |create| makes the folder when it does not exist yet.
bool GetKnownFolderPath(REFKNOWNFOLDERID id,
                        int csidl,
                        base::FilePath* path,
                        bool create);

// The shortcut in the taskbar-pins folder that points to |target| (by path,
// or by file identity when |target_info| is given); empty when none.
base::FilePath FindTaskbarPin(const base::FilePath& target,
                              const BY_HANDLE_FILE_INFORMATION* target_info);

// Whether the shortcut at |shortcut| points to |target|, by path or, when
// |target_info| is given, by file identity.
bool ShortcutPointsTo(const base::FilePath& shortcut,
                      const base::FilePath& target,
                      const BY_HANDLE_FILE_INFORMATION* target_info);

// Volume serial number, file index and the rest of the file's identity.
bool GetFileInformation(const base::FilePath& path,
                        BY_HANDLE_FILE_INFORMATION* info);

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
  // Set by GrantUserAccess: |descriptor| is a copy of the list from before
  // the first grant on the object whose record is still held.
  bool holds_first_list = false;
  // What the object is, whatever name reached it: that first list is
  // matched by it.
  std::wstring identity;
  // The owner (a SID) from before GrantUserAccess took ownership; empty when
  // it did not.
  std::vector<BYTE> owner;
  // Which held first list the record holds.
  uint64_t first_list = 0;
};

// A privilege of the process token turned on while alive.
class ScopedPrivilege {
 public:
  explicit ScopedPrivilege(
      const wchar_t* privilege = L"SeTakeOwnershipPrivilege");
  ~ScopedPrivilege();
  ScopedPrivilege(const ScopedPrivilege&) = delete;
  ScopedPrivilege& operator=(const ScopedPrivilege&) = delete;

  bool enabled() const { return enabled_; }

 private:
  const wchar_t* privilege_;
  bool enabled_ = false;
};

void DeleteSavedAccess(SavedAccess* saved);

// Object names follow the named-security-object convention: a file is its
// path (SE_FILE_OBJECT), a key is "CLASSES_ROOT\", "MACHINE\",
// "CURRENT_USER\" or "USERS\" plus its path (SE_REGISTRY_KEY).

// A key's native name, as the system knows it behind every root and alias
// (HKCU and HKEY_USERS\<sid>, HKCR and HKLM\Software\Classes). Empty when
// it cannot be read.
std::wstring NativeKeyName(HKEY key);
// Whether |a| and |b| are open on one key, deleted or not.
bool SameKey(HKEY a, HKEY b);
// Another handle on the key |key| is open on, with its access; null when
// the system refuses.
HKEY DuplicateKey(HKEY key);

// Opens |name| below |parent| as itself (a link as the link) with whatever
// access its list gives the caller; when it gives nothing, for WRITE_OWNER
// through SeTakeOwnershipPrivilege. The handle to grant through.
LONG OpenKeyToGrant(HKEY parent, const std::wstring& name, HKEY* key);

// Whether the current user holds |desired| on the object.
bool HasAccess(const std::wstring& object_name,
               SE_OBJECT_TYPE object_type,
               DWORD desired);

// Turns |privilege| on or off in |token|, which is closed at the end.
bool EnablePrivilege(const wchar_t* privilege, bool enable, HANDLE token);

// Makes the Administrators group the owner of the object.
bool TakeOwnership(const std::wstring& object_name, SE_OBJECT_TYPE object_type);

// Grants the current user |access| on the object (inherited by what is
// created below it; a key's existing subkeys keep their lists), first
// lifting the deny entries that apply to the user. Unless |permanent|, the
// previous access list is handed out in |saved| (may be null for permanent
// grants) so that RestoreAccess can put it back. A file is refused when a
// folder on its path is a link or it has other names. A key is reached
// through |key| when given (any handle on the key itself), else opened once
// by its name as itself (OpenKeyToGrant); never by name after that.
bool GrantUserAccess(const std::wstring& object_name,
                     SE_OBJECT_TYPE object_type,
                     DWORD access,
                     bool permanent,
                     std::unique_ptr<SavedAccess>* saved,
                     HKEY key = nullptr);
// As GrantUserAccess, on the file |entry| has open as itself (the name is
// only checked and logged): the list saved is that file's, whatever takes
// the name meanwhile. |entry| needs no access beyond its attributes.
bool GrantUserAccessOn(HANDLE entry,
                       const std::wstring& object_name,
                       SE_OBJECT_TYPE object_type,
                       DWORD access,
                       bool permanent,
                       std::unique_ptr<SavedAccess>* saved);

// Puts back the access list in |saved| and frees the record. False when
// there is none, or when the system refuses, which is an error line naming
// the object: widened access is never left behind silently.
bool RestoreAccess(std::unique_ptr<SavedAccess>* saved);
// The key |rebuilt| is open on was made again by a rollback in place of
// the key |deleted| is open on, which it deleted: the lists held for that
// very key are its own. Lists held for another key of the name (one made
// later in the transaction, or by anyone else) are not.
void AdoptRebuiltKey(HKEY deleted, HKEY rebuilt);

// As RestoreAccess, onto the object now named |object_name|: the file or
// folder the list was saved from, renamed since. A file there that is not
// that one is left alone, and the result is false.
bool RestoreAccessAt(const std::wstring& object_name,
                     std::unique_ptr<SavedAccess>* saved);
// As RestoreAccess, onto the file or folder |file| has open (for its
// attributes at least), whatever its name is now, when it is the one the
// list was saved from.
bool RestoreAccessOn(HANDLE file, std::unique_ptr<SavedAccess>* saved);
// The file or folder |file| has open, opened again for |access| through
// its file id, never by a name another file may have taken;
// INVALID_HANDLE_VALUE on failure, with the last error.
HANDLE OpenFileAgain(HANDLE file, DWORD access);
// A file or folder by its id on its volume: OpenFileAgain at a later time,
// wherever it is named by then, with nothing of ours held open meanwhile
// (Windows refuses to rename a folder while anything below it is open).
struct FileReference {
  std::wstring volume;  // its root folder
  FILE_ID_DESCRIPTOR id = {};
  DWORD index_high = 0;
  DWORD index_low = 0;
};
bool ReadFileReference(HANDLE file, FileReference* reference);
HANDLE OpenFileReference(const FileReference& reference, DWORD access);
// What the file or folder |file| has open is, as SavedAccess::identity
// tells it; empty when that cannot be read.
std::wstring FileObjectIdentity(HANDLE file);
// The SID of the BUILTIN\Administrators group, freed with FreeSid.
bool MakeAdministratorsSid(PSID* sid);
// Whether |a| and |b| were read from one file (volume and file index),
// whatever names reached it.
bool SameFile(const BY_HANDLE_FILE_INFORMATION& a,
              const BY_HANDLE_FILE_INFORMATION& b);

#endif  // defined(_WIN32)

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_UTILS_H_
