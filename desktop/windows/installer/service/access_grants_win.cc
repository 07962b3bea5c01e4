#include "desktop/windows/installer/service/utils.h"

#include <windows.h>
#include <aclapi.h>
#define SECURITY_WIN32
#include <security.h>

#include <utility>
#include <vector>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/strings/string16.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"

namespace installer {

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

// The root and path of a key named as a security object.
bool SplitKeyName(const std::wstring& name, HKEY* root, std::wstring* path) {
  static const struct {
    const wchar_t* prefix;
    HKEY root;
  } kRoots[] = {{L"CLASSES_ROOT", HKEY_CLASSES_ROOT},
                {L"MACHINE", HKEY_LOCAL_MACHINE},
                {L"CURRENT_USER", HKEY_CURRENT_USER},
                {L"USERS", HKEY_USERS}};
  for (const auto& known : kRoots) {
    const std::wstring prefix = known.prefix;
    if (name.compare(0, prefix.size(), prefix) != 0)
      continue;
    if (name.size() == prefix.size()) {
      path->clear();
    } else if (name[prefix.size()] == L'\\') {
      *path = name.substr(prefix.size() + 1);
    } else {
      continue;
    }
    *root = known.root;
    return true;
  }
  return false;
}

// Where an access list is read and written: a key through a handle on
// the key itself (a link as the link), held for a grant; a file through one handle opened
// on the name itself (never on what a link there points to), so that
// nothing can be swapped in between.
struct AccessTarget {
  AccessTarget(const std::wstring& name, SE_OBJECT_TYPE type)
      : name(name), type(type) {}
  ~AccessTarget() {
    for (HKEY own : {key, held}) {
      if (own)
        ::RegCloseKey(own);
    }
  }
  AccessTarget(const AccessTarget&) = delete;
  AccessTarget& operator=(const AccessTarget&) = delete;

  std::wstring name;
  SE_OBJECT_TYPE type;
  // A file as itself, open for its attributes only: the handles that read
  // and change its lists are opened again from it, never by its name.
  base::win::ScopedHandle entry;
  base::win::ScopedHandle file;
  HKEY key = nullptr;
  // The key itself, held by the caller or since the grant: every open of
  // the key goes through it, never through the name, whose upper levels
  // may lead elsewhere by now.
  HKEY held = nullptr;
  // The owner from before TakeOwnershipOf changed it, as a SID.
  mutable std::vector<BYTE> previous_owner;
};

// Opens the key |target| holds again, as itself. Never by its name: each
// resolution of a name may reach another key.
LONG OpenTargetKey(const AccessTarget& target, REGSAM access, HKEY* key) {
  *key = nullptr;
  if (!target.held)
    return ERROR_INVALID_HANDLE;
  const LONG result =
      ::RegOpenKeyExW(target.held, L"", REG_OPTION_OPEN_LINK, access, key);
  if (result != ERROR_SUCCESS)
    *key = nullptr;
  return result;
}

DWORD ReadDacl(const AccessTarget& target,
               PACL* dacl,
               PSECURITY_DESCRIPTOR* descriptor) {
  if (target.file.IsValid() || target.key) {
    HANDLE handle = target.key ? static_cast<HANDLE>(target.key)
                               : target.file.Get();
    // A key's owner too: what its list is checked against before a write.
    const SECURITY_INFORMATION what =
        target.key ? OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION
                   : DACL_SECURITY_INFORMATION;
    return ::GetSecurityInfo(handle, target.type, what, nullptr, nullptr, dacl,
                             nullptr, descriptor);
  }
  return ::GetNamedSecurityInfoW(const_cast<wchar_t*>(target.name.c_str()),
                                 target.type, DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, dacl, nullptr, descriptor);
}

DWORD WriteSecurity(const AccessTarget& target,
                    SECURITY_INFORMATION what,
                    PSID owner,
                    PACL dacl) {
  if (target.file.IsValid()) {
    return ::SetSecurityInfo(target.file.Get(), target.type, what, owner,
                             nullptr, dacl, nullptr);
  }
  if (target.type == SE_REGISTRY_KEY && target.key &&
      !(what & OWNER_SECURITY_INFORMATION)) {
    return ::SetSecurityInfo(target.key, target.type, what, nullptr, nullptr,
                             dacl, nullptr);
  }
  if (target.type == SE_REGISTRY_KEY) {
    // By name, a link there would pass the change on to the key it points
    // to; through a handle on the key itself it reaches the key named.
    const REGSAM access =
        ((what & OWNER_SECURITY_INFORMATION) ? WRITE_OWNER : 0) |
        ((what & DACL_SECURITY_INFORMATION) ? READ_CONTROL | WRITE_DAC : 0);
    HKEY key = nullptr;
    const LONG opened = OpenTargetKey(target, access, &key);
    if (opened != ERROR_SUCCESS)
      return static_cast<DWORD>(opened);
    const DWORD result = ::SetSecurityInfo(key, target.type, what, owner,
                                           nullptr, dacl, nullptr);
    ::RegCloseKey(key);
    return result;
  }
  // A file is written only through a handle on the file itself.
  return ERROR_INVALID_HANDLE;
}

// Writes |dacl| protected from inheritance exactly when the list of
// |model| was: otherwise the parent's inheritable entries would be merged
// into a list that had shut them out. Through a key's own handle the list
// reaches that key alone, unless |hand_down|: then Windows also gives its
// subkeys what they inherit from it.
DWORD WriteDacl(const AccessTarget& target,
                PACL dacl,
                PSECURITY_DESCRIPTOR model,
                bool hand_down = false) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!::GetSecurityDescriptorControl(model, &control, &revision))
    return ::GetLastError();
  if (target.key && !hand_down) {
    const SECURITY_DESCRIPTOR_CONTROL kept =
        SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED;
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor,
                                        SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, kept, control & kept)) {
      return ::GetLastError();
    }
    return static_cast<DWORD>(::RegSetKeySecurity(
        target.key, DACL_SECURITY_INFORMATION, &descriptor));
  }
  const SECURITY_INFORMATION protection = (control & SE_DACL_PROTECTED)
                                              ? PROTECTED_DACL_SECURITY_INFORMATION
                                              : UNPROTECTED_DACL_SECURITY_INFORMATION;
  return WriteSecurity(target, DACL_SECURITY_INFORMATION | protection,
                       nullptr, dacl);
}

// A key's owner, list and list protection as bytes to compare: whether
// another program wrote any of them since they were read.
std::vector<BYTE> KeyState(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  std::vector<BYTE> state;
  if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner ||
      !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
      !::GetSecurityDescriptorControl(descriptor, &control, &revision)) {
    return state;
  }
  const BYTE* sid = static_cast<const BYTE*>(owner);
  state.assign(sid, sid + ::GetLengthSid(owner));
  state.push_back((control & SE_DACL_PROTECTED) ? 1 : 0);
  ACL_SIZE_INFORMATION size = {};
  if (present && dacl &&
      ::GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation)) {
    // The entries, not the room the list was given.
    const BYTE* entries = reinterpret_cast<const BYTE*>(dacl);
    state.push_back(dacl->AclRevision);
    state.insert(state.end(), entries + sizeof(ACL),
                 entries + size.AclBytesInUse);
  }
  return state;
}

// The owner's part of a key state: the SID it begins with.
std::vector<BYTE> OwnerPart(const std::vector<BYTE>& state) {
  if (state.empty())
    return state;
  const DWORD length = ::GetLengthSid(const_cast<BYTE*>(state.data()));
  return std::vector<BYTE>(state.begin(), state.begin() + length);
}

std::vector<BYTE> ListPart(const std::vector<BYTE>& state) {
  return std::vector<BYTE>(state.begin() + OwnerPart(state).size(),
                           state.end());
}

// The state of |key|, read through that handle, and its owner in |owner|
// when given; empty when it cannot be read.
std::vector<BYTE> ReadKeyState(HKEY key, std::vector<BYTE>* owner = nullptr) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  PSID sid = nullptr;
  if (::GetSecurityInfo(key, SE_REGISTRY_KEY,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &sid, nullptr, nullptr, nullptr,
                        &raw) != ERROR_SUCCESS) {
    return std::vector<BYTE>();
  }
  std::unique_ptr<void, LocalFreeDeleter> descriptor(raw);
  if (owner && sid) {
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    owner->assign(bytes, bytes + ::GetLengthSid(sid));
  }
  return KeyState(raw);
}

// The state |dacl| written with the protection of |model| leaves on a key
// owned by |owner|.
std::vector<BYTE> WrittenKeyState(PSID owner,
                                  PACL dacl,
                                  PSECURITY_DESCRIPTOR model) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  SECURITY_DESCRIPTOR written;
  if (!::GetSecurityDescriptorControl(model, &control, &revision) ||
      !::InitializeSecurityDescriptor(&written, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorOwner(&written, owner, FALSE) ||
      !::SetSecurityDescriptorDacl(&written, TRUE, dacl, FALSE) ||
      !::SetSecurityDescriptorControl(&written, SE_DACL_PROTECTED,
                                      control & SE_DACL_PROTECTED)) {
    return std::vector<BYTE>();
  }
  return KeyState(&written);
}

// SeTakeOwnershipPrivilege: Windows looks at it when a handle is opened, so
// it must be on before a handle for WRITE_OWNER is.
using ScopedTakeOwnershipPrivilege = ScopedPrivilege;

// The owner of |target| as a SID, in |owner|.
bool ReadOwner(const AccessTarget& target, std::vector<BYTE>* owner) {
  PSID sid = nullptr;
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  HKEY own = target.key;
  if (!own && target.type == SE_REGISTRY_KEY &&
      OpenTargetKey(target, READ_CONTROL, &own) != ERROR_SUCCESS) {
    return false;
  }
  base::win::ScopedHandle read;
  if (!own && !target.file.IsValid() && target.entry.IsValid())
    read.Set(OpenFileAgain(target.entry.Get(), READ_CONTROL));
  HANDLE handle = own ? static_cast<HANDLE>(own)
                  : target.file.IsValid() ? target.file.Get()
                  : read.IsValid() ? read.Get() : nullptr;
  const DWORD result =
      handle ? ::GetSecurityInfo(handle, target.type,
                                 OWNER_SECURITY_INFORMATION, &sid, nullptr,
                                 nullptr, nullptr, &raw_descriptor)
          : ::GetNamedSecurityInfoW(const_cast<wchar_t*>(target.name.c_str()),
                                    target.type, OWNER_SECURITY_INFORMATION,
                                    &sid, nullptr, nullptr, nullptr,
                                    &raw_descriptor);
  std::unique_ptr<void, LocalFreeDeleter> descriptor(raw_descriptor);
  if (own != target.key)
    ::RegCloseKey(own);
  if (result != ERROR_SUCCESS || !sid || !::IsValidSid(sid))
    return false;
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  owner->assign(bytes, bytes + ::GetLengthSid(sid));
  return true;
}

// Makes |owner| the owner of |target|; a file through a handle of the file
// itself opened for that, the privileges it needs being on.
DWORD WriteOwner(const AccessTarget& target, PSID owner) {
  if (target.type != SE_FILE_OBJECT)
    return WriteSecurity(target, OWNER_SECURITY_INFORMATION, owner, nullptr);
  AccessTarget owned(target.name, target.type);
  owned.file.Set(OpenFileAgain(target.entry.Get(), WRITE_OWNER | READ_CONTROL));
  if (!owned.file.IsValid())
    return ::GetLastError();
  return WriteSecurity(owned, OWNER_SECURITY_INFORMATION, owner, nullptr);
}

// Gives |target| back the owner |owner|: any owner but the caller needs
// SeRestorePrivilege, and WRITE_OWNER on what the caller no longer owns
// SeTakeOwnershipPrivilege.
DWORD PutBackOwner(const AccessTarget& target, std::vector<BYTE>& owner) {
  ScopedPrivilege restore(L"SeRestorePrivilege");
  ScopedPrivilege take_ownership;
  return WriteOwner(target, owner.data());
}

// Makes the Administrators group the owner of |target|; the caller has the
// privilege that allows it turned on.
bool MakeAdministratorsOwner(const AccessTarget& target) {
  PSID administrators = nullptr;
  if (!MakeAdministratorsSid(&administrators))
    return false;
  const DWORD result = WriteOwner(target, administrators);
  ::FreeSid(administrators);
  return result == ERROR_SUCCESS;
}

bool TakeOwnershipOf(const AccessTarget& target) {
  ScopedTakeOwnershipPrivilege privilege;
  if (!privilege.enabled())
    return false;
  // The first owner, to be put back: an owner that cannot be read is not
  // taken.
  const bool first = target.previous_owner.empty();
  if (first && !ReadOwner(target, &target.previous_owner)) {
    LOG(ERROR) << "Cannot read the owner of " << target.name;
    return false;
  }
  if (MakeAdministratorsOwner(target))
    return true;
  // Still the owner it was: nothing to put back.
  if (first)
    target.previous_owner.clear();
  return false;
}

// The file or folder |name| itself, never what a link in its place points
// to.
HANDLE OpenUnfollowed(const std::wstring& name, DWORD access) {
  return ::CreateFileW(
      name.c_str(), access,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
      nullptr);
}

// False for a link: a reparse point (a junction in a folder the user may
// write could point at a system folder), or a file with more than one name
// (whose access list is also that of a file elsewhere).
bool IsOwnFile(HANDLE file,
               const std::wstring& name,
               BY_HANDLE_FILE_INFORMATION* info) {
  if (!::GetFileInformationByHandle(file, info)) {
    PLOG(ERROR) << "Cannot read the file information of " << name;
    return false;
  }
  // The name is asked too: Wine opens what a Unix link points to even when
  // told not to, and only the name still shows the link.
  const DWORD name_attributes = ::GetFileAttributesW(name.c_str());
  if ((info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      (name_attributes != INVALID_FILE_ATTRIBUTES &&
       (name_attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    LOG(ERROR) << "Refusing to change access through the link " << name;
    return false;
  }
  if (!(info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
      info->nNumberOfLinks > 1) {
    LOG(ERROR) << "Refusing to change access of " << name
               << ", which has other names";
    return false;
  }
  return true;
}

// What |call| writes for |in|, however long: the path functions answer the
// size they need when the buffer is short (some only that more is needed).
// Empty on failure.
template <typename Call>
std::wstring PathText(const std::wstring& in, Call call) {
  const DWORD kLongestPath = 32768;
  std::wstring out(MAX_PATH, L'\0');
  for (int tries = 0; tries < 3; ++tries) {
    DWORD length = call(in, &out[0], static_cast<DWORD>(out.size()));
    if (!length && ::GetLastError() == ERROR_MORE_DATA &&
        out.size() < kLongestPath) {
      length = kLongestPath;
    }
    if (!length)
      return std::wstring();
    if (length < out.size()) {
      out.resize(length);
      return out;
    }
    out.assign(length, L'\0');
  }
  return std::wstring();
}

// |path| made absolute with long names and no trailing separator, and with
// a "\\?\" or "\\?\UNC\" prefix taken off; empty when that fails.
std::wstring PlainFullPath(const std::wstring& path) {
  const std::wstring full = PathText(path, [](const std::wstring& in,
                                              wchar_t* out, DWORD size) {
    return ::GetFullPathNameW(in.c_str(), size, out, nullptr);
  });
  if (full.empty())
    return std::wstring();
  std::wstring result = PathText(full, [](const std::wstring& in, wchar_t* out,
                                          DWORD size) {
    return ::GetLongPathNameW(in.c_str(), out, size);
  });
  if (result.empty())
    return std::wstring();
  if (result.compare(0, 8, L"\\\\?\\UNC\\") == 0)
    result.replace(0, 8, L"\\\\");
  else if (result.compare(0, 4, L"\\\\?\\") == 0)
    result.erase(0, 4);
  while (result.size() > 3 && result.back() == L'\\')
    result.pop_back();
  return result;
}

// A plain full path in the "\\?\" form when it is too long for the plain
// one, which Windows refuses beyond MAX_PATH.
std::wstring ExtendedPath(const std::wstring& path) {
  if (path.size() < MAX_PATH)
    return path;
  if (path.compare(0, 2, L"\\\\") == 0)
    return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

// The length of the root of a plain full path: "C:\" or "\\server\share\";
// 0 for anything else.
size_t RootLength(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
    return 3;
  if (path.compare(0, 2, L"\\\\") != 0)
    return 0;
  const size_t share = path.find(L'\\', 2);
  if (share == std::wstring::npos || share == 2)
    return 0;
  const size_t end = path.find(L'\\', share + 1);
  return end == std::wstring::npos ? path.size() : end + 1;
}

// False when a folder on the way from the volume's root to |name| is a
// link: the grant would then land on whatever the link points to, and a
// junction planted in any folder the user may write would reach a system
// file.
bool HasNoLinkAbove(const std::wstring& name) {
  const std::wstring path = PlainFullPath(name);
  const size_t root = RootLength(path);
  if (!root) {
    LOG(ERROR) << "Cannot tell the folders above " << name;
    return false;
  }
  for (size_t end = path.find(L'\\', root); end != std::wstring::npos;
       end = path.find(L'\\', end + 1)) {
    const std::wstring folder = path.substr(0, end);
    const DWORD attributes =
        ::GetFileAttributesW(ExtendedPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      LOG(ERROR) << "Refusing to change access of " << name
                 << " below the link or unreadable folder " << folder;
      return false;
    }
  }
  return true;
}

// Whether |file| is what |name| names with no link resolved on the way:
// a folder could have been swapped for a link after it was checked.
bool OpenedAsNamed(HANDLE file, const std::wstring& name) {
  const std::wstring final_path =
      PathText(name, [file](const std::wstring&, wchar_t* out, DWORD size) {
        return ::GetFinalPathNameByHandleW(
            file, out, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      });
  if (final_path.empty()) {
    PLOG(ERROR) << "Cannot read the final path of " << name;
    return false;
  }
  const std::wstring asked = PlainFullPath(name);
  const std::wstring opened = PlainFullPath(final_path);
  if (asked.empty() ||
      ::CompareStringOrdinal(asked.c_str(), static_cast<int>(asked.size()),
                             opened.c_str(), static_cast<int>(opened.size()),
                             TRUE) != CSTR_EQUAL) {
    LOG(ERROR) << "Refusing to change access of " << name << ", opened as "
               << final_path;
    return false;
  }
  return true;
}

// Opens the file target's handle for reading and changing its access list,
// taking ownership first when that is denied. The file is |entry| when
// given (the caller's handle on it, opened as itself), or what the name
// names, opened as itself once; every later handle is opened again from
// that one.
bool OpenFileTarget(AccessTarget* target, HANDLE entry) {
  HANDLE copy = INVALID_HANDLE_VALUE;
  if (entry) {
    if (::DuplicateHandle(::GetCurrentProcess(), entry, ::GetCurrentProcess(),
                          &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      target->entry.Set(copy);
    }
  } else {
    target->entry.Set(OpenUnfollowed(target->name, FILE_READ_ATTRIBUTES));
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!target->entry.IsValid()) {
    PLOG(ERROR) << "Cannot open " << target->name;
    return false;
  }
  if (!HasNoLinkAbove(target->name) ||
      !IsOwnFile(target->entry.Get(), target->name, &info) ||
      !OpenedAsNamed(target->entry.Get(), target->name)) {
    return false;
  }
  const DWORD kAccess = READ_CONTROL | WRITE_DAC;
  target->file.Set(OpenFileAgain(target->entry.Get(), kAccess));
  if (target->file.IsValid())
    return true;
  if (::GetLastError() != ERROR_ACCESS_DENIED) {
    PLOG(ERROR) << "Cannot open " << target->name;
    return false;
  }
  // The owner it replaces is read first, and goes back with the list.
  if (!TakeOwnershipOf(*target)) {
    LOG(ERROR) << "Cannot take ownership of " << target->name;
    return false;
  }
  target->file.Set(OpenFileAgain(target->entry.Get(), kAccess));
  if (!target->file.IsValid()) {
    PLOG(ERROR) << "Cannot open " << target->name << " after taking ownership";
    return false;
  }
  return true;
}

// Makes |target| hold the key |key| is open on, or else the key its name
// names, opened once as itself: every later open goes through that handle.
bool HoldKeyTarget(AccessTarget* target, HKEY key) {
  HKEY root = nullptr;
  std::wstring path;
  LONG result = ERROR_INVALID_NAME;
  if (key) {
    target->held = DuplicateKey(key);
    result = target->held ? ERROR_SUCCESS : ::GetLastError();
  } else if (SplitKeyName(target->name, &root, &path)) {
    result = OpenKeyToGrant(root, path, &target->held);
  }
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot hold " << target->name << ": error " << result;
    return false;
  }
  return true;
}

// Opens the key target's handle for reading and changing its access list,
// taking ownership first when that is denied.
bool OpenKeyTarget(AccessTarget* target) {
  // A link's own list, never that of the key it points to.
  const REGSAM kAccess = READ_CONTROL | WRITE_DAC;
  LONG result = OpenTargetKey(*target, kAccess, &target->key);
  if (result == ERROR_ACCESS_DENIED && TakeOwnershipOf(*target))
    result = OpenTargetKey(*target, kAccess, &target->key);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot open " << target->name << ": error " << result;
    return false;
  }
  return true;
}

// Reads the access list of the target, taking ownership once when that is
// denied. |descriptor| owns what |dacl| points into.
bool GetDacl(const AccessTarget& target,
             PACL* dacl,
             PSECURITY_DESCRIPTOR* descriptor) {
  DWORD result = ReadDacl(target, dacl, descriptor);
  if (result == ERROR_ACCESS_DENIED) {
    if (!TakeOwnershipOf(target))
      return false;
    result = ReadDacl(target, dacl, descriptor);
  }
  return result == ERROR_SUCCESS;
}

// The list |old_dacl| holds explicitly, with the user's deny entries lifted
// and |access| granted to |user|. Null on failure.
PACL BuildGrantedDacl(PACL old_dacl, PSID user, DWORD access) {
  ULONG count = 0;
  EXPLICIT_ACCESS_W* raw_entries = nullptr;
  if (::GetExplicitEntriesFromAclW(old_dacl, &count, &raw_entries) !=
      ERROR_SUCCESS) {
    return nullptr;
  }
  std::unique_ptr<EXPLICIT_ACCESS_W, LocalFreeDeleter> entries(raw_entries);
  LiftDenyEntries(entries.get(), count, access);

  // By SID: a name could resolve to another account of the same name.
  EXPLICIT_ACCESS_W grant = {};
  grant.grfAccessPermissions = access;
  grant.grfAccessMode = GRANT_ACCESS;
  grant.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  ::BuildTrusteeWithSidW(&grant.Trustee, user);
  grant.Trustee.TrusteeType = TRUSTEE_IS_USER;
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

// The user of the process token, in |buffer|.
PSID GetTokenUser(std::vector<BYTE>* buffer) {
  HANDLE raw_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw_token))
    return nullptr;
  base::win::ScopedHandle token(raw_token);
  DWORD size = 0;
  ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER))
    return nullptr;
  buffer->resize(size);
  if (!::GetTokenInformation(token.Get(), TokenUser, buffer->data(), size,
                             &size)) {
    return nullptr;
  }
  return reinterpret_cast<TOKEN_USER*>(buffer->data())->User.Sid;
}

// The access lists from before the first of the grants whose records are
// still held, by object. A later grant on the same object saves that first
// list rather than the one it finds, which already holds the earlier grant:
// whatever order the records are restored in, the object ends as it was.
// Lists are matched by the object's identity, never by its name: one key
// is named through two roots, and a name may be taken by another file
// between two grants.
struct FirstSavedList {
  std::wstring identity;
  std::vector<BYTE> descriptor;  // self-relative
  int holders;
  uint64_t serial;
  // The key it was saved from, held open: once that key is deleted, a key
  // made again under its name is another one. Opened to change its list
  // while the grant could: its owner may let nobody do that after.
  HKEY key;
  // The key's state as this process last wrote it; empty when unknown.
  // A put-back finding anything else leaves what another program wrote.
  std::vector<BYTE> written;
};

base::Lock& FirstSavedListsLock() {
  static base::Lock* lock = new base::Lock;
  return *lock;
}

std::vector<FirstSavedList>& FirstSavedLists() {
  static auto* lists = new std::vector<FirstSavedList>;
  return *lists;
}

// Whether the key |key| is open on was deleted since.
bool KeyDeleted(HKEY key) {
  using QueryKey = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const QueryKey query_key = reinterpret_cast<QueryKey>(
      reinterpret_cast<void (*)()>(::GetProcAddress(
          ::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
  const LONG kStatusKeyDeleted = static_cast<LONG>(0xC000017C);
  const int kKeyNameInformation = 3;
  BYTE buffer[sizeof(ULONG) + 64];
  ULONG size = 0;
  return key && query_key &&
         query_key(key, kKeyNameInformation, buffer, sizeof(buffer), &size) ==
             kStatusKeyDeleted;
}

std::vector<FirstSavedList>::iterator FindFirstSavedList(
    const std::wstring& identity) {
  std::vector<FirstSavedList>& lists = FirstSavedLists();
  for (auto it = lists.begin(); it != lists.end(); ++it) {
    if (KeyDeleted(it->key))
      continue;
    if (::CompareStringOrdinal(it->identity.c_str(),
                               static_cast<int>(it->identity.size()),
                               identity.c_str(),
                               static_cast<int>(identity.size()),
                               TRUE) == CSTR_EQUAL) {
      return it;
    }
  }
  return lists.end();
}

// The identity of the object |target| has open: a file's volume serial
// number and file index, a key's native name. Empty when it cannot be read.
std::wstring ObjectIdentity(const AccessTarget& target) {
  if (target.key) {
    const std::wstring name = NativeKeyName(target.key);
    return name.empty() ? name : L"key " + name;
  }
  return target.file.IsValid() ? FileObjectIdentity(target.file.Get())
                               : std::wstring();
}

// A record of the first saved list of the object |target| has open,
// |found| (the list the grant found) becoming it when no held record has
// one. Null on failure.
std::unique_ptr<SavedAccess> HoldFirstSavedList(const AccessTarget& target,
                                                PSECURITY_DESCRIPTOR found) {
  const std::wstring identity = ObjectIdentity(target);
  if (identity.empty()) {
    PLOG(ERROR) << "Cannot tell what " << target.name << " is";
    return nullptr;
  }
  std::unique_ptr<SavedAccess> record(new SavedAccess);
  record->object_name = target.name;
  record->object_type = target.type;
  record->identity = identity;
  std::vector<BYTE> first;
  {
    base::AutoLock hold(FirstSavedListsLock());
    auto it = FindFirstSavedList(identity);
    if (it == FirstSavedLists().end()) {
      static uint64_t serial = 0;
      const BYTE* bytes = static_cast<const BYTE*>(found);
      const HKEY key = target.key ? DuplicateKey(target.key) : nullptr;
      if (target.key && !key)
        return nullptr;
      FirstSavedLists().push_back(
          {identity,
           std::vector<BYTE>(bytes,
                             bytes + ::GetSecurityDescriptorLength(found)),
           0, ++serial, key, std::vector<BYTE>()});
      it = FirstSavedLists().end() - 1;
    }
    ++it->holders;
    record->first_list = it->serial;
    first = it->descriptor;
  }
  // From here on the record's destructor lets go of the list.
  record->holds_first_list = true;
  record->descriptor = ::LocalAlloc(LMEM_FIXED, first.size());
  if (!record->descriptor)
    return nullptr;
  memcpy(record->descriptor, first.data(), first.size());
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  if (!::GetSecurityDescriptorDacl(record->descriptor, &present,
                                   &record->dacl, &defaulted)) {
    return nullptr;
  }
  if (!present)
    record->dacl = nullptr;
  return record;
}

void ReleaseFirstSavedList(const SavedAccess& record) {
  base::AutoLock hold(FirstSavedListsLock());
  std::vector<FirstSavedList>& lists = FirstSavedLists();
  for (auto it = lists.begin(); it != lists.end(); ++it) {
    if (it->serial != record.first_list || --it->holders > 0)
      continue;
    if (it->key)
      ::RegCloseKey(it->key);
    lists.erase(it);
    return;
  }
}

// A handle on the key whose first list |record| holds, to put the list
// back through; null when there is none.
HKEY HeldFirstListKey(const SavedAccess& record) {
  base::AutoLock hold(FirstSavedListsLock());
  for (const FirstSavedList& list : FirstSavedLists()) {
    if (list.serial == record.first_list && list.key)
      return DuplicateKey(list.key);
  }
  return nullptr;
}

// The key state last written for the first list |record| holds.
std::vector<BYTE> WrittenFirstListState(const SavedAccess& record) {
  base::AutoLock hold(FirstSavedListsLock());
  for (const FirstSavedList& list : FirstSavedLists()) {
    if (list.serial == record.first_list)
      return list.written;
  }
  return std::vector<BYTE>();
}

void SetWrittenFirstListState(const SavedAccess& record,
                              std::vector<BYTE> state) {
  base::AutoLock hold(FirstSavedListsLock());
  for (FirstSavedList& list : FirstSavedLists()) {
    if (list.serial == record.first_list)
      list.written = std::move(state);
  }
}

// Whether the key whose first list |record| holds was deleted since.
bool FirstListKeyDeleted(const SavedAccess& record) {
  base::AutoLock hold(FirstSavedListsLock());
  for (const FirstSavedList& list : FirstSavedLists()) {
    if (list.serial == record.first_list)
      return KeyDeleted(list.key);
  }
  return false;
}

}  // namespace

void AdoptRebuiltKey(HKEY deleted, HKEY rebuilt) {
  // Matched by the deleted key itself, never by its name: a key made at
  // that name later in the transaction holds lists that are not the
  // rebuilt key's.
  const std::wstring name = NativeKeyName(rebuilt);
  if (name.empty())
    return;
  base::AutoLock hold(FirstSavedListsLock());
  for (FirstSavedList& list : FirstSavedLists()) {
    HANDLE own = nullptr;
    if (!SameKey(list.key, deleted) ||
        !::DuplicateHandle(::GetCurrentProcess(), rebuilt,
                           ::GetCurrentProcess(), &own, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
      continue;
    }
    ::RegCloseKey(list.key);
    list.key = static_cast<HKEY>(own);
    list.identity = L"key " + name;
    // Made by this transaction's rollback, with a list of its own.
    list.written.clear();
  }
}

LONG OpenKeyToGrant(HKEY parent, const std::wstring& name, HKEY* key) {
  LONG result = ::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK,
                                MAXIMUM_ALLOWED, key);
  if (result == ERROR_ACCESS_DENIED) {
    // Windows looks at the privilege when the handle is opened.
    ScopedTakeOwnershipPrivilege privilege;
    if (privilege.enabled()) {
      result = ::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK,
                               WRITE_OWNER, key);
    }
  }
  if (result != ERROR_SUCCESS)
    *key = nullptr;
  return result;
}

HKEY DuplicateKey(HKEY key) {
  HANDLE copy = nullptr;
  return ::DuplicateHandle(::GetCurrentProcess(), key, ::GetCurrentProcess(),
                           &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)
             ? static_cast<HKEY>(copy)
             : nullptr;
}

bool SameKey(HKEY a, HKEY b) {
  using CompareObjects = LONG(WINAPI*)(HANDLE, HANDLE);
  static const CompareObjects compare = reinterpret_cast<CompareObjects>(
      reinterpret_cast<void (*)()>(::GetProcAddress(
          ::GetModuleHandleW(L"ntdll.dll"), "NtCompareObjects")));
  return a && b && compare && compare(a, b) == 0;
}

std::wstring NativeKeyName(HKEY key) {
  using QueryKey = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const QueryKey query_key = reinterpret_cast<QueryKey>(
      reinterpret_cast<void (*)()>(::GetProcAddress(
          ::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
  const int kKeyNameInformation = 3;
  // A name length in bytes, then the name; key paths are at most 32767
  // characters long.
  std::vector<BYTE> buffer(sizeof(ULONG) + 65536 + 64);
  ULONG size = 0;
  if (!query_key ||
      query_key(key, kKeyNameInformation, buffer.data(),
                static_cast<ULONG>(buffer.size()), &size) != 0) {
    return std::wstring();
  }
  ULONG length = 0;
  memcpy(&length, buffer.data(), sizeof(length));
  if (length > buffer.size() - sizeof(ULONG))
    return std::wstring();
  std::wstring name(length / sizeof(wchar_t), L'\0');
  memcpy(&name[0], buffer.data() + sizeof(ULONG), name.size() * sizeof(wchar_t));
  return name;
}

ScopedPrivilege::ScopedPrivilege(const wchar_t* privilege)
    : privilege_(privilege) {
  HANDLE token = nullptr;
  enabled_ = OpenAdjustableToken(&token) &&
             EnablePrivilege(privilege_, true, token);
}

ScopedPrivilege::~ScopedPrivilege() {
  HANDLE token = nullptr;
  if (enabled_ && OpenAdjustableToken(&token))
    EnablePrivilege(privilege_, false, token);
}

SavedAccess::~SavedAccess() {
  if (holds_first_list)
    ReleaseFirstSavedList(*this);
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
  AccessTarget target(object_name, object_type);
  if (object_type == SE_FILE_OBJECT)
    target.entry.Set(OpenUnfollowed(object_name, FILE_READ_ATTRIBUTES));
  if (object_type == SE_REGISTRY_KEY && !HoldKeyTarget(&target, nullptr))
    return false;
  return TakeOwnershipOf(target);
}

namespace {

// Grants through |entry| (a file opened as itself) or |key| (the key
// itself) when given; by name otherwise.
bool GrantAccessThrough(HANDLE entry,
                        HKEY key,
                        const std::wstring& object_name,
                        SE_OBJECT_TYPE object_type,
                        DWORD access,
                        bool permanent,
                        std::unique_ptr<SavedAccess>* saved) {
  if (saved)
    saved->reset();

  std::vector<BYTE> user_buffer;
  PSID user = GetTokenUser(&user_buffer);
  if (!user)
    return false;

  AccessTarget target(object_name, object_type);
  if (object_type == SE_REGISTRY_KEY && !HoldKeyTarget(&target, key))
    return false;
  // An owner taken on the way goes back when the grant fails.
  struct OwnerGuard {
    ~OwnerGuard() {
      if (!granted && !theirs && !target.previous_owner.empty() &&
          PutBackOwner(target, target.previous_owner) != ERROR_SUCCESS) {
        LOG(ERROR) << "Failed to put back the owner of " << target.name;
      }
    }
    AccessTarget& target;
    bool granted;
    // Another program wrote the owner or list meanwhile: theirs stays.
    bool theirs;
  } owner_guard = {target, false, false};
  if (object_type == SE_FILE_OBJECT && !OpenFileTarget(&target, entry))
    return false;
  if (object_type == SE_REGISTRY_KEY && !OpenKeyTarget(&target))
    return false;

  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR raw_old_descriptor = nullptr;
  if (!GetDacl(target, &old_dacl, &raw_old_descriptor))
    return false;
  std::unique_ptr<void, LocalFreeDeleter> old_descriptor(raw_old_descriptor);

  std::unique_ptr<ACL, LocalFreeDeleter> new_dacl(
      BuildGrantedDacl(old_dacl, user, access));
  if (!new_dacl)
    return false;

  // Saved before the change, so that an object is never left widened with
  // nothing to undo it.
  std::unique_ptr<SavedAccess> record;
  if (!permanent && saved) {
    record = HoldFirstSavedList(target, old_descriptor.get());
    if (!record)
      return false;
  }

  // A key's owner may have written its list again since it was read (the
  // handle still lets us write): the list built on the old one would
  // overwrite theirs.
  if (target.key) {
    const std::vector<BYTE> now = ReadKeyState(target.key);
    if (now != KeyState(old_descriptor.get())) {
      owner_guard.theirs = !now.empty();
      LOG(ERROR) << "Not widening access to " << object_name
                 << (now.empty() ? ": its list cannot be read again"
                                 : ": another program changed its owner or "
                                   "access list meanwhile");
      return false;
    }
  }
  DWORD result = WriteDacl(target, new_dacl.get(), old_descriptor.get());
  const bool retaken = result == ERROR_ACCESS_DENIED && TakeOwnershipOf(target);
  if (retaken)
    result = WriteDacl(target, new_dacl.get(), old_descriptor.get());
  if (result != ERROR_SUCCESS)
    return false;
  // What the put-back expects to find; not known once the owner changed.
  if (record && target.key) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    const bool known =
        !retaken && ::GetSecurityDescriptorOwner(old_descriptor.get(), &owner,
                                                 &defaulted);
    SetWrittenFirstListState(
        *record, known ? WrittenKeyState(owner, new_dacl.get(),
                                         old_descriptor.get())
                       : std::vector<BYTE>());
  }

  if (record)
    record->owner = target.previous_owner;
  if (saved)
    *saved = std::move(record);
  owner_guard.granted = true;
  return true;
}

}  // namespace

bool GrantUserAccess(const std::wstring& object_name,
                     SE_OBJECT_TYPE object_type,
                     DWORD access,
                     bool permanent,
                     std::unique_ptr<SavedAccess>* saved,
                     HKEY key) {
  return GrantAccessThrough(nullptr, key, object_name, object_type, access,
                            permanent, saved);
}

bool GrantUserAccessOn(HANDLE entry,
                       const std::wstring& object_name,
                       SE_OBJECT_TYPE object_type,
                       DWORD access,
                       bool permanent,
                       std::unique_ptr<SavedAccess>* saved) {
  return GrantAccessThrough(entry, nullptr, object_name, object_type, access,
                            permanent, saved);
}

bool ReadFileReference(HANDLE file, FileReference* reference) {
  // FILE_ID_INFO, which the headers hide below Windows 8. Read here rather
  // than through GetFileInformationByHandle: that index is for telling
  // files apart, this one is what the volume opens by.
  struct {
    ULONGLONG volume_serial;
    BYTE id[16];
  } id = {};
  const auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandleEx(file, kFileIdInfo, &id, sizeof(id)) ||
      !::GetFileInformationByHandle(file, &info)) {
    return false;
  }
  reference->id = {};
  reference->id.dwSize = sizeof(reference->id);
  reference->id.Type = FileIdType;
  memcpy(&reference->id.FileId, id.id, sizeof(reference->id.FileId));
  reference->index_high = info.nFileIndexHigh;
  reference->index_low = info.nFileIndexLow;
  // The volume is given by a handle on its root folder: Windows takes a
  // handle on any file of it, Wine only a folder's.
  std::wstring path = PathText(
      std::wstring(), [file](const std::wstring&, wchar_t* out, DWORD size) {
        return ::GetFinalPathNameByHandleW(
            file, out, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      });
  if (path.compare(0, 4, L"\\\\?\\") == 0)
    path.erase(0, 4);
  const size_t root = RootLength(path);
  if (!root) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  reference->volume = path.substr(0, root);
  return true;
}

HANDLE OpenFileReference(const FileReference& reference, DWORD access) {
  base::win::ScopedHandle volume(::CreateFileW(
      ExtendedPath(reference.volume).c_str(), 0,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!volume.IsValid())
    return INVALID_HANDLE_VALUE;
  FILE_ID_DESCRIPTOR id = reference.id;
  base::win::ScopedHandle again(::OpenFileById(
      volume.Get(), &id, access,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
  if (!again.IsValid())
    return INVALID_HANDLE_VALUE;
  // The id read is only part of a 128-bit one on some file systems. The
  // volume serial is not compared: Wine answers 0 for it once the file was
  // renamed through another handle.
  BY_HANDLE_FILE_INFORMATION opened;
  if (!::GetFileInformationByHandle(again.Get(), &opened) ||
      reference.index_high != opened.nFileIndexHigh ||
      reference.index_low != opened.nFileIndexLow) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return again.Take();
}

HANDLE OpenFileAgain(HANDLE file, DWORD access) {
  FileReference reference;
  return ReadFileReference(file, &reference)
             ? OpenFileReference(reference, access)
             : INVALID_HANDLE_VALUE;
}

std::wstring FileObjectIdentity(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info))
    return std::wstring();
  const uint64_t index =
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return L"file " + std::to_wstring(info.dwVolumeSerialNumber) + L" " +
         std::to_wstring(index);
}

bool RestoreAccess(std::unique_ptr<SavedAccess>* saved) {
  if (!saved || !*saved)
    return false;
  const std::wstring object_name = (*saved)->object_name;
  return RestoreAccessAt(object_name, saved);
}

namespace {

// Puts the first list |record| holds, then its owner, back on its key
// through the handle opened to change the list at the grant (the owner
// given back may let nobody open it for that again), each only while it is
// as this process last left it: a list another program wrote since stays,
// with |theirs| set, and so does an owner it set. |what| names the part
// that failed.
DWORD PutBackKeyList(const SavedAccess& record,
                     AccessTarget* target,
                     bool* theirs,
                     const char** what) {
  target->key = HeldFirstListKey(record);
  target->held = target->key ? DuplicateKey(target->key) : nullptr;
  if (!target->held)
    return ERROR_INVALID_HANDLE;
  std::vector<BYTE> owner;
  const std::vector<BYTE> now = ReadKeyState(target->key, &owner);
  if (now.empty())
    return ERROR_GEN_FAILURE;
  const std::vector<BYTE> written = WrittenFirstListState(record);
  if (!written.empty() && ListPart(now) != ListPart(written)) {
    *theirs = true;
    return ERROR_SUCCESS;
  }
  // Handed down: that takes the grant out of subkeys made below it since.
  DWORD result = WriteDacl(*target, record.dacl, record.descriptor, true);
  if (result == ERROR_ACCESS_DENIED) {
    // A key made again by a rollback, held with other rights: opened anew
    // through its handle.
    ::RegCloseKey(target->key);
    target->key = nullptr;
    result = WriteDacl(*target, record.dacl, record.descriptor, true);
  }
  if (result != ERROR_SUCCESS)
    return result;
  SetWrittenFirstListState(
      record, WrittenKeyState(owner.data(), record.dacl, record.descriptor));
  // After the list, which the caller may change while it is the owner.
  if (record.owner.empty() ||
      (!written.empty() && owner != OwnerPart(written))) {
    return ERROR_SUCCESS;
  }
  *what = "owner";
  std::vector<BYTE> first_owner = record.owner;
  result = PutBackOwner(*target, first_owner);
  if (result == ERROR_SUCCESS) {
    SetWrittenFirstListState(record,
                             WrittenKeyState(first_owner.data(), record.dacl,
                                             record.descriptor));
  }
  return result;
}

// RestoreAccessAt's work: a file is opened as itself by |object_name|, or
// is the one |file| has open when that is given, and must be the file the
// list was saved from.
bool PutBackSavedAccess(const std::wstring& object_name,
                        HANDLE file,
                        std::unique_ptr<SavedAccess>* saved) {
  if (!saved || !*saved)
    return false;
  const SavedAccess& record = **saved;
  base::win::ScopedHandle named;
  if (record.object_type == SE_FILE_OBJECT && !file) {
    named.Set(OpenUnfollowed(object_name, FILE_READ_ATTRIBUTES));
    file = named.Get();
  }
  if (FirstListKeyDeleted(record)) {
    LOG(ERROR) << "Not putting back the access list of " << object_name
               << ": the key it was saved from was deleted";
    saved->reset();
    return false;
  }
  // A key's list goes back through SetSecurityInfo: Windows then also gives
  // the subkeys back what they inherited before, which takes the grant out
  // of keys created below it meanwhile.
  // A second try: a passing lack of resources or a scanner holding the file
  // must not leave access widened for good.
  DWORD result = ERROR_ACCESS_DENIED;
  const char* what = "access list";
  for (int tries = 0; tries < 2 && result != ERROR_SUCCESS; ++tries) {
    AccessTarget target(object_name, record.object_type);
    result = ERROR_ACCESS_DENIED;
    what = "access list";
    HANDLE copy = nullptr;
    if (file && ::DuplicateHandle(::GetCurrentProcess(), file,
                                  ::GetCurrentProcess(), &copy, 0, FALSE,
                                  DUPLICATE_SAME_ACCESS)) {
      target.entry.Set(copy);
      target.file.Set(OpenFileAgain(copy, READ_CONTROL | WRITE_DAC));
    }
    // Only onto the file it was saved from, never another's that took the
    // name. An identity that cannot be read is a failed try, not another
    // file.
    if (record.object_type == SE_FILE_OBJECT && target.file.IsValid()) {
      const std::wstring identity = FileObjectIdentity(target.file.Get());
      if (identity.empty()) {
        const DWORD error = ::GetLastError();
        result = error ? error : ERROR_GEN_FAILURE;
        what = "access list (what the file is could not be read)";
        continue;
      }
      if (identity != record.identity) {
        LOG(ERROR) << "Not putting back the access list of " << object_name
                   << ": it is not the file it was saved from";
        saved->reset();
        return false;
      }
    }
    // A key only through the key the list was saved from: by name, a
    // link above it may lead to another key by now.
    bool theirs = false;
    if (record.object_type == SE_REGISTRY_KEY) {
      result = PutBackKeyList(record, &target, &theirs, &what);
    } else if (target.file.IsValid()) {
      result = WriteDacl(target, record.dacl, record.descriptor);
    }
    if (theirs) {
      LOG(ERROR) << "Not putting back the access list of " << object_name
                 << ": another program changed its owner or access list";
      saved->reset();
      return false;
    }
    // After the list, which the caller may change while it is the owner.
    if (result == ERROR_SUCCESS && !record.owner.empty() &&
        record.object_type == SE_FILE_OBJECT) {
      what = "owner";
      result = PutBackOwner(target, (*saved)->owner);
    }
  }
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to put back the " << what << " of " << object_name
               << ": error " << result;
  }
  saved->reset();
  return result == ERROR_SUCCESS;
}

}  // namespace

bool RestoreAccessAt(const std::wstring& object_name,
                     std::unique_ptr<SavedAccess>* saved) {
  return PutBackSavedAccess(object_name, nullptr, saved);
}

bool RestoreAccessOn(HANDLE file, std::unique_ptr<SavedAccess>* saved) {
  if (!saved || !*saved)
    return false;
  const std::wstring object_name = (*saved)->object_name;
  return PutBackSavedAccess(object_name, file, saved);
}

}  // namespace installer
