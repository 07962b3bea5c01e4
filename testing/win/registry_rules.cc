#include "testing/win/registry_rules.h"

#include <aclapi.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace platform_rules {

bool PrivilegeEnabled(const wchar_t* privilege) {
  LUID luid;
  if (!::LookupPrivilegeValueW(nullptr, privilege, &luid))
    return false;
  HANDLE token = nullptr;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return false;
  }
  DWORD size = 0;
  ::GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  bool enabled = false;
  if (size && ::GetTokenInformation(token, TokenPrivileges, buffer.data(),
                                    size, &size)) {
    const auto* privileges =
        reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
      if (entry.Luid.LowPart == luid.LowPart &&
          entry.Luid.HighPart == luid.HighPart) {
        enabled = entry.Attributes & SE_PRIVILEGE_ENABLED;
      }
    }
  }
  ::CloseHandle(token);
  return enabled;
}

namespace {
// Keeps whether the key just made, open in |key|, is a link.
void NoteKeyKind(HKEY key, bool link);
}  // namespace

LONG MakeKeyLink(HKEY root,
                 const std::wstring& link,
                 const std::wstring& target) {
  HKEY handle = nullptr;
  LONG result = ::RegOpenKeyExW(root, target.c_str(), 0, KEY_QUERY_VALUE,
                                &handle);
  if (result != ERROR_SUCCESS)
    return result;
  // KeyNameInformation: the length in bytes, then the native name.
  BYTE name[2048];
  ULONG size = 0;
  const LONG status = NtQueryKey(handle, 3, name, sizeof(name), &size);
  ::RegCloseKey(handle);
  if (status != 0)
    return ERROR_INVALID_DATA;
  result = ::RegCreateKeyExW(root, link.c_str(), 0, nullptr,
                             REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS, nullptr,
                             &handle, nullptr);
  if (result != ERROR_SUCCESS)
    return result;
  NoteKeyKind(handle, true);
  result = ::RegSetValueExW(handle, L"SymbolicLinkValue", 0, REG_LINK,
                            name + sizeof(ULONG),
                            *reinterpret_cast<ULONG*>(name));
  ::RegCloseKey(handle);
  return result;
}

std::wstring KeyLinkTarget(HKEY root, const std::wstring& key) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), REG_OPTION_OPEN_LINK,
                      KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
    return std::wstring();
  }
  wchar_t target[1024];
  DWORD size = sizeof(target);
  DWORD type = REG_NONE;
  const bool read =
      ::RegQueryValueExW(handle, L"SymbolicLinkValue", nullptr, &type,
                         reinterpret_cast<BYTE*>(target),
                         &size) == ERROR_SUCCESS &&
      type == REG_LINK;
  ::RegCloseKey(handle);
  return read ? std::wstring(target, size / sizeof(wchar_t)) : std::wstring();
}

namespace {

// The system's entries for the rules' own calls, which must not meet the
// rules or an injected fault.
struct RegistryCalls {
  decltype(&::RegOpenKeyExW) open =
      SystemEntry<decltype(&::RegOpenKeyExW)>("advapi32.dll",
                                              "RegOpenKeyExW");
  decltype(&::RegGetKeySecurity) get_security =
      SystemEntry<decltype(&::RegGetKeySecurity)>("advapi32.dll",
                                                  "RegGetKeySecurity");
  decltype(&::RegSetKeySecurity) set_security =
      SystemEntry<decltype(&::RegSetKeySecurity)>("advapi32.dll",
                                                  "RegSetKeySecurity");
  decltype(&::RegEnumKeyExW) enum_key =
      SystemEntry<decltype(&::RegEnumKeyExW)>("advapi32.dll",
                                              "RegEnumKeyExW");
  decltype(&::RegCreateKeyExW) create =
      SystemEntry<decltype(&::RegCreateKeyExW)>("advapi32.dll",
                                                "RegCreateKeyExW");
  decltype(&::RegQueryValueExW) query_value =
      SystemEntry<decltype(&::RegQueryValueExW)>("advapi32.dll",
                                                 "RegQueryValueExW");
  decltype(&::NtDeleteKey) delete_key =
      SystemEntry<decltype(&::NtDeleteKey)>("ntdll.dll", "NtDeleteKey");
  decltype(&::NtQueryKey) query_key =
      SystemEntry<decltype(&::NtQueryKey)>("ntdll.dll", "NtQueryKey");
};

const RegistryCalls& Reg() {
  static const RegistryCalls calls;
  return calls;
}

// The native name of |key|, upper case; empty when unread.
std::wstring NativeName(HKEY key) {
  std::vector<BYTE> buffer(sizeof(ULONG) + 65536);
  ULONG size = 0;
  if (Reg().query_key(key, 3, buffer.data(),
                      static_cast<ULONG>(buffer.size()), &size) != 0) {
    return std::wstring();
  }
  ULONG length = 0;
  memcpy(&length, buffer.data(), sizeof(length));
  std::wstring name(
      reinterpret_cast<const wchar_t*>(buffer.data() + sizeof(ULONG)),
      std::min<size_t>(length, buffer.size() - sizeof(ULONG)) /
          sizeof(wchar_t));
  ::CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
  return name;
}

// The native names of the keys made as links (REG_OPTION_CREATE_LINK): a
// key is a link by how it was made, never by a value it holds.
std::set<std::wstring>& MadeLinks() {
  static auto* links = new std::set<std::wstring>;
  return *links;
}

void NoteKeyKind(HKEY key, bool link) {
  const std::wstring name = NativeName(key);
  if (name.empty())
    return;
  if (link)
    MadeLinks().insert(name);
  else
    MadeLinks().erase(name);
}

// The owner of |key| as a descriptor holding it alone; empty when unread.
std::vector<BYTE> ReadOwner(HKEY key) {
  DWORD size = 0;
  Reg().get_security(key, OWNER_SECURITY_INFORMATION, nullptr, &size);
  std::vector<BYTE> owner(size);
  if (!size || Reg().get_security(key, OWNER_SECURITY_INFORMATION,
                                  owner.data(), &size) != ERROR_SUCCESS) {
    owner.clear();
  }
  return owner;
}

bool ReadDacl(HKEY key, std::vector<BYTE>* descriptor);

// Sets |key|'s access list through |set| and keeps its owner, as Windows
// does: Wine may make the caller's primary group the owner. The owner goes
// back together with the list, which Wine would strip of its protection
// on a change of the owner alone.
template <typename Set>
LONG SetDaclKeepingOwner(HKEY key, Set set) {
  std::vector<BYTE> before = ReadOwner(key);
  const LONG result = set();
  std::vector<BYTE> list;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  PACL dacl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (result != ERROR_SUCCESS || before.empty() ||
      ReadOwner(key) == before || !ReadDacl(key, &list) ||
      !::GetSecurityDescriptorOwner(before.data(), &owner, &defaulted) ||
      !::GetSecurityDescriptorDacl(list.data(), &present, &dacl,
                                   &defaulted) ||
      !::GetSecurityDescriptorControl(list.data(), &control, &revision)) {
    return result;
  }
  SECURITY_DESCRIPTOR descriptor;
  ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorOwner(&descriptor, owner, FALSE);
  ::SetSecurityDescriptorDacl(&descriptor, present, dacl, FALSE);
  ::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED,
                                 control & SE_DACL_PROTECTED);
  HKEY writer = nullptr;
  if (Reg().open(key, L"", REG_OPTION_OPEN_LINK, WRITE_OWNER | WRITE_DAC,
                 &writer) == ERROR_SUCCESS) {
    Reg().set_security(writer,
                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                       &descriptor);
    ::RegCloseKey(writer);
  }
  return result;
}

LONG SetDacl(HKEY key, PSECURITY_DESCRIPTOR descriptor) {
  return SetDaclKeepingOwner(key, [&] {
    return Reg().set_security(key, DACL_SECURITY_INFORMATION, descriptor);
  });
}

ScopedImportHook* g_open_hook = nullptr;
ScopedImportHook* g_create_hook = nullptr;
ScopedImportHook* g_set_security_hook = nullptr;
ScopedImportHook* g_set_named_security_hook = nullptr;
ScopedImportHook* g_query_key_hook = nullptr;
ScopedImportHook* g_set_key_security_hook = nullptr;

int g_refused = 0;

constexpr SECURITY_INFORMATION kCheckedSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
    DACL_SECURITY_INFORMATION;

// The stored descriptor of |path| below |root| (|root| itself when |path|
// is empty), of a link itself with REG_OPTION_OPEN_LINK in |options|.
// ERROR_FILE_NOT_FOUND when the key is not there.
LONG ReadDescriptor(HKEY root,
                    const std::wstring& path,
                    DWORD options,
                    std::vector<BYTE>* descriptor) {
  // A handle of our own: the caller's may lack READ_CONTROL.
  HKEY key = nullptr;
  LONG result = Reg().open(root, path.c_str(), options & REG_OPTION_OPEN_LINK,
                           READ_CONTROL, &key);
  if (result != ERROR_SUCCESS)
    return result;
  DWORD size = 0;
  Reg().get_security(key, kCheckedSecurity, nullptr, &size);
  descriptor->resize(size);
  result = size ? Reg().get_security(key, kCheckedSecurity,
                                     descriptor->data(), &size)
                : ERROR_INVALID_DATA;
  ::RegCloseKey(key);
  return result;
}

// A token of the caller fit for AccessCheck.
HANDLE CallerToken() {
  HANDLE token = nullptr;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE,
                         TRUE, &token) &&
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE,
                          &token)) {
    return nullptr;
  }
  HANDLE duplicate = nullptr;
  if (!::DuplicateToken(token, SecurityIdentification, &duplicate))
    duplicate = nullptr;
  ::CloseHandle(token);
  return duplicate;
}

// Whether the caller holds |desired| on a key with |descriptor|.
bool Allows(std::vector<BYTE>& descriptor, REGSAM desired) {
  GENERIC_MAPPING mapping = {KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};
  DWORD access = desired & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  ::MapGenericMask(&access, &mapping);
  HANDLE token = CallerToken();
  if (!token)
    return false;
  // The owner may always read and change the access list.
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  BOOL is_owner = FALSE;
  if (::GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted) &&
      owner && ::CheckTokenMembership(token, owner, &is_owner) && is_owner) {
    access &= ~(READ_CONTROL | WRITE_DAC);
  }
  bool allowed = true;
  if (access) {
    PRIVILEGE_SET privileges = {};
    DWORD privileges_size = sizeof(privileges);
    DWORD granted = 0;
    BOOL status = FALSE;
    allowed = ::AccessCheck(descriptor.data(), token, access, &mapping,
                            &privileges, &privileges_size, &granted,
                            &status) &&
              status;
  }
  ::CloseHandle(token);
  return allowed;
}

LONG Refuse() {
  ++g_refused;
  return ERROR_ACCESS_DENIED;
}

LONG WINAPI RuledRegOpenKeyExW(HKEY root,
                               LPCWSTR sub_key,
                               DWORD options,
                               REGSAM desired,
                               PHKEY result) {
  std::vector<BYTE> descriptor;
  if (ReadDescriptor(root, sub_key ? sub_key : L"", options, &descriptor) ==
          ERROR_SUCCESS &&
      !Allows(descriptor, desired)) {
    return Refuse();
  }
  return g_open_hook->original<decltype(&::RegOpenKeyExW)>()(
      root, sub_key, options, desired, result);
}

void GiveInheritedEntries(HKEY root, const std::wstring& path);

LONG WINAPI RuledRegCreateKeyExW(HKEY root,
                                 LPCWSTR sub_key,
                                 DWORD reserved,
                                 LPWSTR key_class,
                                 DWORD options,
                                 REGSAM desired,
                                 LPSECURITY_ATTRIBUTES attributes,
                                 PHKEY result,
                                 LPDWORD disposition) {
  std::wstring path = sub_key ? sub_key : L"";
  std::vector<BYTE> descriptor;
  LONG read = ReadDescriptor(root, path, options, &descriptor);
  if (read == ERROR_SUCCESS) {
    if (!Allows(descriptor, desired))
      return Refuse();
  } else {
    // Up to the deepest level that exists, which must allow creating. A
    // level that is there but cannot be read is no missing one: Windows
    // refuses to create below it.
    while (read == ERROR_FILE_NOT_FOUND) {
      const size_t separator = path.find_last_of(L'\\');
      if (path.empty())
        return g_create_hook->original<decltype(&::RegCreateKeyExW)>()(
            root, sub_key, reserved, key_class, options, desired, attributes,
            result, disposition);
      path.resize(separator == std::wstring::npos ? 0 : separator);
      read = ReadDescriptor(root, path, 0, &descriptor);
    }
    if (read != ERROR_SUCCESS || !Allows(descriptor, KEY_CREATE_SUB_KEY))
      return Refuse();
  }
  DWORD own_disposition = 0;
  const LONG status = g_create_hook->original<decltype(&::RegCreateKeyExW)>()(
      root, sub_key, reserved, key_class, options, desired, attributes, result,
      &own_disposition);
  if (disposition)
    *disposition = own_disposition;
  if (status == ERROR_SUCCESS && own_disposition == REG_CREATED_NEW_KEY)
    NoteKeyKind(*result, (options & REG_OPTION_CREATE_LINK) != 0);
  if (status == ERROR_SUCCESS && own_disposition == REG_CREATED_NEW_KEY &&
      attributes && attributes->lpSecurityDescriptor) {
    SetDacl(*result,
                       attributes->lpSecurityDescriptor);
  } else if (status == ERROR_SUCCESS &&
             own_disposition == REG_CREATED_NEW_KEY) {
    GiveInheritedEntries(root, sub_key ? sub_key : L"");
  }
  return status;
}

// The access list of |key| as stored; false when it cannot be read.
bool ReadDacl(HKEY key, std::vector<BYTE>* descriptor) {
  DWORD size = 0;
  Reg().get_security(key, DACL_SECURITY_INFORMATION, nullptr, &size);
  descriptor->resize(size);
  return size && Reg().get_security(key, DACL_SECURITY_INFORMATION,
                                    descriptor->data(),
                                    &size) == ERROR_SUCCESS;
}

bool IsProtected(HKEY key) {
  std::vector<BYTE> descriptor;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  return ReadDacl(key, &descriptor) &&
         ::GetSecurityDescriptorControl(descriptor.data(), &control,
                                        &revision) &&
         (control & SE_DACL_PROTECTED);
}

// Gives |key|'s access list the protection from inheritance that Windows
// would leave it with after a change of |what|: as asked, or as it was.
// Wine's Set[Named]SecurityInfo drop it, even when only the owner changes.
void KeepProtection(HKEY key, SECURITY_INFORMATION what, bool was_protected) {
  bool wanted = was_protected;
  if (what & PROTECTED_DACL_SECURITY_INFORMATION)
    wanted = true;
  else if (what & UNPROTECTED_DACL_SECURITY_INFORMATION)
    wanted = false;
  std::vector<BYTE> current;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (IsProtected(key) == wanted || !ReadDacl(key, &current) ||
      !::GetSecurityDescriptorDacl(current.data(), &present, &dacl,
                                   &defaulted)) {
    return;
  }
  SECURITY_DESCRIPTOR descriptor;
  ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&descriptor, present, dacl, FALSE);
  ::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED,
                                 wanted ? SE_DACL_PROTECTED : 0);
  SetDacl(key, &descriptor);
}

// The entries of |parent_dacl| that a subkey inherits, as Windows derives
// them: container-inherit entries apply to it (and pass on unless
// no-propagate), object-inherit ones only pass on, inherit-only.
std::vector<std::vector<BYTE>> InheritedEntries(PACL parent_dacl) {
  std::vector<std::vector<BYTE>> entries;
  for (DWORD i = 0; parent_dacl && i < parent_dacl->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    if (!::GetAce(parent_dacl, i, reinterpret_cast<void**>(&ace)))
      continue;
    const BYTE flags = ace->AceFlags;
    const bool no_propagate = flags & NO_PROPAGATE_INHERIT_ACE;
    BYTE inherited = INHERITED_ACE;
    if (flags & CONTAINER_INHERIT_ACE) {
      if (!no_propagate)
        inherited |= flags & (CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE);
    } else if ((flags & OBJECT_INHERIT_ACE) && !no_propagate) {
      inherited |= OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE;
    } else {
      continue;
    }
    const BYTE* bytes = reinterpret_cast<const BYTE*>(ace);
    entries.emplace_back(bytes, bytes + ace->AceSize);
    reinterpret_cast<ACE_HEADER*>(entries.back().data())->AceFlags =
        inherited;
  }
  return entries;
}

// The entries of |entries| missing from |others|, compared byte by byte.
std::vector<std::vector<BYTE>> Without(
    const std::vector<std::vector<BYTE>>& entries,
    const std::vector<std::vector<BYTE>>& others) {
  std::vector<std::vector<BYTE>> left;
  for (const auto& entry : entries) {
    if (std::find(others.begin(), others.end(), entry) == others.end())
      left.push_back(entry);
  }
  return left;
}

// The list |dacl| of a descriptor, or null.
PACL DaclOf(std::vector<BYTE>& descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (descriptor.empty() ||
      !::GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl,
                                   &defaulted) ||
      !present) {
    return nullptr;
  }
  return dacl;
}

// The entries of |dacl|, each as its bytes.
std::vector<std::vector<BYTE>> EntriesOf(PACL dacl) {
  std::vector<std::vector<BYTE>> entries;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    if (::GetAce(dacl, i, reinterpret_cast<void**>(&ace))) {
      const BYTE* bytes = reinterpret_cast<const BYTE*>(ace);
      entries.emplace_back(bytes, bytes + ace->AceSize);
    }
  }
  return entries;
}

// An access list of |entries|, in order, as its bytes.
std::vector<BYTE> ListOf(std::vector<std::vector<BYTE>> entries) {
  DWORD size = sizeof(ACL);
  for (const auto& entry : entries)
    size += static_cast<DWORD>(entry.size());
  std::vector<BYTE> list(size);
  PACL dacl = reinterpret_cast<PACL>(list.data());
  ::InitializeAcl(dacl, size, ACL_REVISION_DS);
  for (auto& entry : entries) {
    ::AddAce(dacl, ACL_REVISION_DS, MAXDWORD, entry.data(),
             static_cast<DWORD>(entry.size()));
  }
  return list;
}

// Hands the change of |key|'s list from |old_dacl| to |new_dacl| down to
// every subkey whose list is not protected, and on below, as Windows does
// when a key's list is set by name or through a handle (Wine leaves the
// subkeys as they were). Only the change travels: a subkey loses the
// entries it inherited from the old list and gains those of the new one.
// Wine gives a new key no inherited entries, so a full recomputation would
// change keys that Windows would have given them at creation.
void PropagateChange(HKEY key, PACL old_dacl, PACL new_dacl) {
  const std::vector<std::vector<BYTE>> before = InheritedEntries(old_dacl);
  const std::vector<std::vector<BYTE>> after = InheritedEntries(new_dacl);
  const std::vector<std::vector<BYTE>> added = Without(after, before);
  const std::vector<std::vector<BYTE>> removed = Without(before, after);
  // A handle of its own to list the subkeys: |key| may not allow it.
  HKEY listing = nullptr;
  if ((added.empty() && removed.empty()) ||
      Reg().open(key, L"", 0, KEY_ENUMERATE_SUB_KEYS, &listing) !=
          ERROR_SUCCESS) {
    return;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD name_size = ARRAYSIZE(name);
    if (Reg().enum_key(listing, index, name, &name_size, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    HKEY child = nullptr;
    if (Reg().open(listing, name, 0, READ_CONTROL | WRITE_DAC, &child) !=
        ERROR_SUCCESS) {
      continue;
    }
    std::vector<BYTE> current;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (ReadDacl(child, &current) &&
        ::GetSecurityDescriptorControl(current.data(), &control,
                                       &revision) &&
        !(control & SE_DACL_PROTECTED)) {
      PACL child_dacl = DaclOf(current);
      std::vector<std::vector<BYTE>> entries;
      bool changed = !added.empty();
      for (std::vector<BYTE>& entry : EntriesOf(child_dacl)) {
        const BYTE flags = reinterpret_cast<ACE_HEADER*>(entry.data())->AceFlags;
        if (!(flags & INHERITED_ACE) ||
            std::find(removed.begin(), removed.end(), entry) ==
                removed.end()) {
          entries.push_back(entry);
        } else {
          changed = true;
        }
      }
      entries.insert(entries.end(), added.begin(), added.end());
      if (!changed) {
        ::RegCloseKey(child);
        continue;
      }
      std::vector<BYTE> list = ListOf(entries);
      PACL new_dacl = reinterpret_cast<PACL>(list.data());
      // The auto-inherited mark stays as it was: Wine's keys lack the one
      // Windows gives them at creation.
      SECURITY_DESCRIPTOR descriptor;
      ::InitializeSecurityDescriptor(&descriptor,
                                     SECURITY_DESCRIPTOR_REVISION);
      ::SetSecurityDescriptorDacl(&descriptor, TRUE, new_dacl, FALSE);
      ::SetSecurityDescriptorControl(&descriptor, SE_DACL_AUTO_INHERITED,
                                     control & SE_DACL_AUTO_INHERITED);
      if (SetDacl(child,
                             &descriptor) == ERROR_SUCCESS) {
        PropagateChange(child, child_dacl, new_dacl);
      }
    }
    ::RegCloseKey(child);
  }
  ::RegCloseKey(listing);
}

// The key |path| below |root|, just made, gets the entries its parent
// hands down, as on Windows; Wine gives a new key none. A parent holding
// the whole list Wine gives every key it makes stands for a Windows key
// handing the creator full control: the key keeps Wine's list, with what
// the parent hands down beyond it.
void GiveInheritedEntries(HKEY root, const std::wstring& path) {
  const size_t separator = path.find_last_of(L'\\');
  std::vector<BYTE> parent;
  std::vector<BYTE> own;
  HKEY key = nullptr;
  if (ReadDescriptor(root,
                     path.substr(0, separator == std::wstring::npos
                                        ? 0
                                        : separator),
                     0, &parent) != ERROR_SUCCESS ||
      Reg().open(root, path.c_str(), REG_OPTION_OPEN_LINK,
                 READ_CONTROL | WRITE_DAC, &key) != ERROR_SUCCESS) {
    return;
  }
  std::vector<std::vector<BYTE>> entries = InheritedEntries(DaclOf(parent));
  ReadDacl(key, &own);
  const std::vector<std::vector<BYTE>> wine = EntriesOf(DaclOf(own));
  if (!wine.empty() && Without(wine, EntriesOf(DaclOf(parent))).empty()) {
    entries = Without(entries, InheritedEntries(DaclOf(own)));
    if (!entries.empty())
      entries.insert(entries.begin(), wine.begin(), wine.end());
  }
  if (!entries.empty()) {
    std::vector<BYTE> list = ListOf(entries);
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE,
                                reinterpret_cast<PACL>(list.data()), FALSE);
    ::SetSecurityDescriptorControl(&descriptor, SE_DACL_AUTO_INHERITED,
                                   SE_DACL_AUTO_INHERITED);
    SetDacl(key, &descriptor);
  }
  ::RegCloseKey(key);
}

// After a change of |key|'s list from |old_descriptor|: the protection
// Windows keeps, and the inheritance it hands down.
void FollowDaclChange(HKEY key,
                      SECURITY_INFORMATION what,
                      bool was_protected,
                      std::vector<BYTE>& old_descriptor) {
  KeepProtection(key, what, was_protected);
  std::vector<BYTE> stored;
  if ((what & DACL_SECURITY_INFORMATION) && ReadDacl(key, &stored))
    PropagateChange(key, DaclOf(old_descriptor), DaclOf(stored));
}

// Whether the caller may make |owner| the owner of an object: itself, one
// of its groups that may own objects, or anyone with SeRestorePrivilege on
// (Wine takes any owner).
bool MayBeOwner(PSID owner) {
  if (!owner || PrivilegeEnabled(L"SeRestorePrivilege"))
    return true;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
    return false;
  bool allowed = false;
  DWORD size = 0;
  std::vector<BYTE> buffer(4096);
  if (::GetTokenInformation(token, TokenUser, buffer.data(),
                            static_cast<DWORD>(buffer.size()), &size)) {
    allowed = ::EqualSid(
        reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, owner);
  }
  if (!allowed &&
      ::GetTokenInformation(token, TokenGroups, buffer.data(),
                            static_cast<DWORD>(buffer.size()), &size)) {
    const auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount && !allowed; ++i) {
      allowed = (groups->Groups[i].Attributes & SE_GROUP_OWNER) &&
                ::EqualSid(groups->Groups[i].Sid, owner);
    }
  }
  ::CloseHandle(token);
  return allowed;
}

// Whether the handle |object| was granted all of |access|.
bool HandleGrants(HANDLE object, REGSAM access) {
  struct {
    ULONG attributes;
    ACCESS_MASK granted;
    ULONG rest[20];
  } basic = {};
  ULONG size = 0;
  using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const QueryObject query = reinterpret_cast<QueryObject>(
      reinterpret_cast<void (*)()>(::GetProcAddress(
          ::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  return query && query(object, 0, &basic, sizeof(basic), &size) == 0 &&
         (basic.granted & access) == access;
}

// Whether a change names the access list (and its protection) alone.
bool IsListOnly(SECURITY_INFORMATION what) {
  return (what & DACL_SECURITY_INFORMATION) &&
         !(what & ~(DACL_SECURITY_INFORMATION |
                    PROTECTED_DACL_SECURITY_INFORMATION |
                    UNPROTECTED_DACL_SECURITY_INFORMATION));
}

// Handles of our own on a key whose security a call changes: one that may
// change the list to keep what Windows keeps (only after the change, when
// the caller became its owner by it), or one that reads it before.
struct ChangedKey {
  template <typename Open>
  explicit ChangedKey(Open open) {
    if (open(READ_CONTROL | WRITE_DAC, &writer) != ERROR_SUCCESS)
      writer = nullptr;
    if (!writer && open(READ_CONTROL, &reader) != ERROR_SUCCESS)
      reader = nullptr;
    HKEY key = writer ? writer : reader;
    was_protected = key && IsProtected(key);
    if (key)
      ReadDacl(key, &old_descriptor);
  }
  ~ChangedKey() {
    if (writer)
      ::RegCloseKey(writer);
    if (reader)
      ::RegCloseKey(reader);
  }
  ChangedKey(const ChangedKey&) = delete;
  ChangedKey& operator=(const ChangedKey&) = delete;

  // Sets the list alone, as Windows does when nothing else is named: Wine's
  // Set[Named]SecurityInfo also make the caller's primary group the owner.
  // ERROR_ACCESS_DENIED without a handle that may change the list.
  DWORD WriteDacl(SECURITY_INFORMATION what, PACL dacl) {
    if (!writer)
      return ERROR_ACCESS_DENIED;
    bool protect = was_protected;
    if (what & PROTECTED_DACL_SECURITY_INFORMATION)
      protect = true;
    else if (what & UNPROTECTED_DACL_SECURITY_INFORMATION)
      protect = false;
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
    ::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED,
                                   protect ? SE_DACL_PROTECTED : 0);
    return static_cast<DWORD>(
        SetDacl(writer, &descriptor));
  }

  template <typename Open>
  void Follow(Open open, SECURITY_INFORMATION what) {
    if ((writer || reader) && !writer &&
        open(READ_CONTROL | WRITE_DAC, &writer) != ERROR_SUCCESS) {
      writer = nullptr;
    }
    if (writer)
      FollowDaclChange(writer, what, was_protected, old_descriptor);
  }

  HKEY writer = nullptr;
  HKEY reader = nullptr;
  bool was_protected = false;
  std::vector<BYTE> old_descriptor;
};

DWORD WINAPI RuledSetSecurityInfo(HANDLE object,
                                  SE_OBJECT_TYPE type,
                                  SECURITY_INFORMATION what,
                                  PSID owner,
                                  PSID group,
                                  PACL dacl,
                                  PACL sacl) {
  auto call = g_set_security_hook->original<decltype(&::SetSecurityInfo)>();
  if (type != SE_REGISTRY_KEY)
    return call(object, type, what, owner, group, dacl, sacl);
  if ((what & OWNER_SECURITY_INFORMATION) && !MayBeOwner(owner))
    return ERROR_INVALID_OWNER;
  // Through a handle Windows asks only what the handle was granted, though
  // its list would refuse opening it again.
  auto open = [object](REGSAM access, HKEY* key) {
    LONG result = Reg().open(static_cast<HKEY>(object), L"", 0, access, key);
    if (result == ERROR_ACCESS_DENIED && HandleGrants(object, access) &&
        ::DuplicateHandle(::GetCurrentProcess(), object, ::GetCurrentProcess(),
                          reinterpret_cast<HANDLE*>(key), 0, FALSE,
                          DUPLICATE_SAME_ACCESS)) {
      result = ERROR_SUCCESS;
    }
    return result;
  };
  ChangedKey key(open);
  DWORD result = 0;
  if (IsListOnly(what)) {
    result = key.WriteDacl(what, dacl);
  } else if (what == OWNER_SECURITY_INFORMATION) {
    // Wine drops the list's protection on a change of the owner alone, and
    // the caller may have given away the right to set it again.
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorOwner(&descriptor, owner, FALSE);
    ::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED,
                                   key.was_protected ? SE_DACL_PROTECTED : 0);
    result = static_cast<DWORD>(
        Reg().set_security(static_cast<HKEY>(object), what, &descriptor));
  } else {
    result = call(object, type, what, owner, group, dacl, sacl);
  }
  if (result == ERROR_SUCCESS)
    key.Follow(open, what);
  return result;
}

// The root and path of a named-security-object name of a key.
bool SplitNamedKey(const wchar_t* name, HKEY* root, std::wstring* path) {
  static const struct {
    const wchar_t* prefix;
    HKEY root;
  } kRoots[] = {{L"CLASSES_ROOT\\", HKEY_CLASSES_ROOT},
                {L"CURRENT_USER\\", HKEY_CURRENT_USER},
                {L"MACHINE\\", HKEY_LOCAL_MACHINE},
                {L"USERS\\", HKEY_USERS}};
  const std::wstring text = name ? name : L"";
  for (const auto& known : kRoots) {
    const std::wstring prefix = known.prefix;
    if (text.compare(0, prefix.size(), prefix) == 0) {
      *root = known.root;
      *path = text.substr(prefix.size());
      return true;
    }
  }
  return false;
}

DWORD WINAPI RuledSetNamedSecurityInfoW(LPWSTR name,
                                        SE_OBJECT_TYPE type,
                                        SECURITY_INFORMATION what,
                                        PSID owner,
                                        PSID group,
                                        PACL dacl,
                                        PACL sacl) {
  auto call =
      g_set_named_security_hook->original<decltype(&::SetNamedSecurityInfoW)>();
  HKEY root = nullptr;
  std::wstring path;
  if (type != SE_REGISTRY_KEY || !SplitNamedKey(name, &root, &path))
    return call(name, type, what, owner, group, dacl, sacl);
  if ((what & OWNER_SECURITY_INFORMATION) && !MayBeOwner(owner))
    return ERROR_INVALID_OWNER;
  auto open = [root, &path](REGSAM access, HKEY* key) {
    return Reg().open(root, path.c_str(), 0, access, key);
  };
  ChangedKey key(open);
  const DWORD result =
      IsListOnly(what) ? key.WriteDacl(what, dacl)
                       : call(name, type, what, owner, group, dacl, sacl);
  if (result == ERROR_SUCCESS)
    key.Follow(open, what);
  return result;
}

LONG WINAPI RuledRegSetKeySecurity(HKEY key,
                                   SECURITY_INFORMATION what,
                                   PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if ((what & OWNER_SECURITY_INFORMATION) &&
      (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
       !MayBeOwner(owner))) {
    return ERROR_INVALID_OWNER;
  }
  auto set = [&] {
    return g_set_key_security_hook->original<decltype(&::RegSetKeySecurity)>()(
        key, what, descriptor);
  };
  if ((what & DACL_SECURITY_INFORMATION) &&
      !(what & OWNER_SECURITY_INFORMATION)) {
    return SetDaclKeepingOwner(key, set);
  }
  // Wine strips the list's protection on a change of the owner alone.
  const bool was_protected = IsProtected(key);
  const LONG result = set();
  if (result == ERROR_SUCCESS && !(what & DACL_SECURITY_INFORMATION))
    KeepProtection(key, 0, was_protected);
  return result;
}

// Key flags as Windows keeps them: KeyFlagsInformation of NtQueryKey.
constexpr int kKeyFlagsInformation = 5;
constexpr LONG kStatusInvalidParameter = static_cast<LONG>(0xC000000D);
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);

// Whether |key| (a handle of our own, opened as the link itself) is a link:
// made as one, and still holding a target (a plain key made since at its
// name is forgotten as a link when it is made).
bool IsLink(HKEY key) {
  DWORD type = REG_NONE;
  return MadeLinks().count(NativeName(key)) &&
         Reg().query_value(key, L"SymbolicLinkValue", nullptr, &type, nullptr,
                           nullptr) == ERROR_SUCCESS &&
         type == REG_LINK;
}

// Whether |key| is volatile: only there does a persistent subkey fail.
// The probe is removed at once.
bool IsVolatile(HKEY key) {
  HKEY probe = nullptr;
  DWORD disposition = 0;
  const LONG result = Reg().create(
      key, L"palvo-rules-volatility-probe", 0, nullptr,
      REG_OPTION_NON_VOLATILE, KEY_READ | DELETE, nullptr, &probe,
      &disposition);
  if (result != ERROR_SUCCESS)
    return result == ERROR_CHILD_MUST_BE_VOLATILE;
  if (disposition == REG_CREATED_NEW_KEY)
    Reg().delete_key(probe);
  ::RegCloseKey(probe);
  return false;
}

LONG NTAPI RuledNtQueryKey(HANDLE key,
                           int information_class,
                           PVOID information,
                           ULONG length,
                           PULONG result_length) {
  const LONG status = g_query_key_hook->original<decltype(&::NtQueryKey)>()(
      key, information_class, information, length, result_length);
  // Wine knows no KeyFlagsInformation.
  if (information_class != kKeyFlagsInformation ||
      status != kStatusInvalidParameter) {
    return status;
  }
  const ULONG kSize = 3 * sizeof(ULONG);
  if (result_length)
    *result_length = kSize;
  if (length < kSize || !information)
    return kStatusBufferTooSmall;
  // Through the caller's handle, which is on the key itself.
  HKEY own = static_cast<HKEY>(key);
  ULONG* flags = static_cast<ULONG*>(information);
  flags[0] = 0;
  flags[2] = 0;
  // REG_FLAG_LINK; a link gets no probe below it.
  flags[1] = IsLink(own) ? 0x2 : (IsVolatile(own) ? 0x1 : 0);
  return 0;
}

// --- Taking ownership ----------------------------------------------------

ScopedImportHook* g_owner_create_file_hook = nullptr;
ScopedImportHook* g_owner_open_by_id_hook = nullptr;
int g_refused_owner_opens = 0;

bool RefusedOwnerOpen(DWORD access) {
  if (!(access & WRITE_OWNER) ||
      PrivilegeEnabled(L"SeTakeOwnershipPrivilege")) {
    return false;
  }
  ++g_refused_owner_opens;
  ::SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

HANDLE WINAPI RuledOwnerCreateFileW(LPCWSTR name,
                                    DWORD access,
                                    DWORD share,
                                    LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition,
                                    DWORD flags,
                                    HANDLE template_file) {
  if (name && RefusedOwnerOpen(access))
    return INVALID_HANDLE_VALUE;
  return g_owner_create_file_hook->original<decltype(&::CreateFileW)>()(
      name, access, share, security, disposition, flags, template_file);
}

HANDLE WINAPI RuledOwnerOpenFileById(HANDLE volume,
                                     LPFILE_ID_DESCRIPTOR id,
                                     DWORD access,
                                     DWORD share,
                                     LPSECURITY_ATTRIBUTES security,
                                     DWORD flags) {
  if (RefusedOwnerOpen(access))
    return INVALID_HANDLE_VALUE;
  return g_owner_open_by_id_hook->original<decltype(&::OpenFileById)>()(
      volume, id, access, share, security, flags);
}

}  // namespace

ScopedWindowsTakeOwnershipRules::ScopedWindowsTakeOwnershipRules()
    : create_file_("CreateFileW",
                   reinterpret_cast<void*>(&RuledOwnerCreateFileW)),
      open_by_id_("OpenFileById",
                  reinterpret_cast<void*>(&RuledOwnerOpenFileById)) {
  g_owner_create_file_hook = &create_file_;
  g_owner_open_by_id_hook = &open_by_id_;
  g_refused_owner_opens = 0;
}

ScopedWindowsTakeOwnershipRules::~ScopedWindowsTakeOwnershipRules() {
  g_owner_create_file_hook = nullptr;
  g_owner_open_by_id_hook = nullptr;
}

int ScopedWindowsTakeOwnershipRules::refused() const {
  return g_refused_owner_opens;
}

ScopedWindowsRegistryAccessRules::ScopedWindowsRegistryAccessRules()
    : open_("RegOpenKeyExW", reinterpret_cast<void*>(&RuledRegOpenKeyExW)),
      create_("RegCreateKeyExW",
              reinterpret_cast<void*>(&RuledRegCreateKeyExW)),
      set_security_("SetSecurityInfo",
                    reinterpret_cast<void*>(&RuledSetSecurityInfo)),
      set_named_security_("SetNamedSecurityInfoW",
                          reinterpret_cast<void*>(&RuledSetNamedSecurityInfoW)),
      query_key_("NtQueryKey", reinterpret_cast<void*>(&RuledNtQueryKey)),
      set_key_security_("RegSetKeySecurity",
                        reinterpret_cast<void*>(&RuledRegSetKeySecurity)) {
  g_open_hook = &open_;
  g_create_hook = &create_;
  g_set_security_hook = &set_security_;
  g_set_named_security_hook = &set_named_security_;
  g_query_key_hook = &query_key_;
  g_set_key_security_hook = &set_key_security_;
  g_refused = 0;
}

ScopedWindowsRegistryAccessRules::~ScopedWindowsRegistryAccessRules() {
  g_open_hook = nullptr;
  g_create_hook = nullptr;
  g_set_security_hook = nullptr;
  g_set_named_security_hook = nullptr;
  g_query_key_hook = nullptr;
  g_set_key_security_hook = nullptr;
}

int ScopedWindowsRegistryAccessRules::refused() const {
  return g_refused;
}

}  // namespace platform_rules
