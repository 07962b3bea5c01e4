#include "testing/win/registry_rules.h"

#include <aclapi.h>

#include <string>
#include <vector>

namespace platform_rules {

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
};

const RegistryCalls& Reg() {
  static const RegistryCalls calls;
  return calls;
}

ScopedImportHook* g_open_hook = nullptr;
ScopedImportHook* g_create_hook = nullptr;
ScopedImportHook* g_set_security_hook = nullptr;
ScopedImportHook* g_set_named_security_hook = nullptr;
int g_refused = 0;

constexpr SECURITY_INFORMATION kCheckedSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
    DACL_SECURITY_INFORMATION;

// The stored descriptor of |path| below |root| (|root| itself when |path|
// is empty); false when the key is not there.
bool ReadDescriptor(HKEY root,
                    const std::wstring& path,
                    std::vector<BYTE>* descriptor) {
  // A handle of our own: the caller's may lack READ_CONTROL.
  HKEY key = nullptr;
  if (Reg().open(root, path.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS)
    return false;
  DWORD size = 0;
  Reg().get_security(key, kCheckedSecurity, nullptr, &size);
  descriptor->resize(size);
  const bool read =
      size && Reg().get_security(key, kCheckedSecurity, descriptor->data(),
                                 &size) == ERROR_SUCCESS;
  ::RegCloseKey(key);
  return read;
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
  if (ReadDescriptor(root, sub_key ? sub_key : L"", &descriptor) &&
      !Allows(descriptor, desired)) {
    return Refuse();
  }
  return g_open_hook->original<decltype(&::RegOpenKeyExW)>()(
      root, sub_key, options, desired, result);
}

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
  if (ReadDescriptor(root, path, &descriptor)) {
    if (!Allows(descriptor, desired))
      return Refuse();
  } else {
    // Up to the deepest level that exists, which must allow creating.
    for (;;) {
      const size_t separator = path.find_last_of(L'\\');
      path.resize(separator == std::wstring::npos ? 0 : separator);
      if (ReadDescriptor(root, path, &descriptor))
        break;
      if (path.empty())
        return g_create_hook->original<decltype(&::RegCreateKeyExW)>()(
            root, sub_key, reserved, key_class, options, desired, attributes,
            result, disposition);
    }
    if (!Allows(descriptor, KEY_CREATE_SUB_KEY))
      return Refuse();
  }
  DWORD own_disposition = 0;
  const LONG status = g_create_hook->original<decltype(&::RegCreateKeyExW)>()(
      root, sub_key, reserved, key_class, options, desired, attributes, result,
      &own_disposition);
  if (disposition)
    *disposition = own_disposition;
  if (status == ERROR_SUCCESS && own_disposition == REG_CREATED_NEW_KEY &&
      attributes && attributes->lpSecurityDescriptor) {
    Reg().set_security(*result, DACL_SECURITY_INFORMATION,
                       attributes->lpSecurityDescriptor);
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
  Reg().set_security(key, DACL_SECURITY_INFORMATION, &descriptor);
}

DWORD WINAPI RuledSetSecurityInfo(HANDLE object,
                                  SE_OBJECT_TYPE type,
                                  SECURITY_INFORMATION what,
                                  PSID owner,
                                  PSID group,
                                  PACL dacl,
                                  PACL sacl) {
  HKEY key = static_cast<HKEY>(object);
  const bool was_protected = type == SE_REGISTRY_KEY && IsProtected(key);
  const DWORD result =
      g_set_security_hook->original<decltype(&::SetSecurityInfo)>()(
          object, type, what, owner, group, dacl, sacl);
  if (result == ERROR_SUCCESS && type == SE_REGISTRY_KEY)
    KeepProtection(key, what, was_protected);
  return result;
}

// The key a named-security-object name of a key stands for.
HKEY OpenNamedKey(const wchar_t* name) {
  static const struct {
    const wchar_t* prefix;
    HKEY root;
  } kRoots[] = {{L"CLASSES_ROOT\\", HKEY_CLASSES_ROOT},
                {L"CURRENT_USER\\", HKEY_CURRENT_USER},
                {L"MACHINE\\", HKEY_LOCAL_MACHINE},
                {L"USERS\\", HKEY_USERS}};
  const std::wstring path = name ? name : L"";
  for (const auto& root : kRoots) {
    const std::wstring prefix = root.prefix;
    if (path.compare(0, prefix.size(), prefix) != 0)
      continue;
    HKEY key = nullptr;
    if (Reg().open(root.root, path.substr(prefix.size()).c_str(), 0,
                   READ_CONTROL | WRITE_DAC, &key) == ERROR_SUCCESS) {
      return key;
    }
  }
  return nullptr;
}

DWORD WINAPI RuledSetNamedSecurityInfoW(LPWSTR name,
                                        SE_OBJECT_TYPE type,
                                        SECURITY_INFORMATION what,
                                        PSID owner,
                                        PSID group,
                                        PACL dacl,
                                        PACL sacl) {
  HKEY key = type == SE_REGISTRY_KEY ? OpenNamedKey(name) : nullptr;
  const bool was_protected = key && IsProtected(key);
  const DWORD result =
      g_set_named_security_hook->original<decltype(&::SetNamedSecurityInfoW)>()(
          name, type, what, owner, group, dacl, sacl);
  if (key) {
    if (result == ERROR_SUCCESS)
      KeepProtection(key, what, was_protected);
    ::RegCloseKey(key);
  }
  return result;
}

}  // namespace

ScopedWindowsRegistryAccessRules::ScopedWindowsRegistryAccessRules()
    : open_("RegOpenKeyExW", reinterpret_cast<void*>(&RuledRegOpenKeyExW)),
      create_("RegCreateKeyExW",
              reinterpret_cast<void*>(&RuledRegCreateKeyExW)),
      set_security_("SetSecurityInfo",
                    reinterpret_cast<void*>(&RuledSetSecurityInfo)),
      set_named_security_("SetNamedSecurityInfoW",
                          reinterpret_cast<void*>(&RuledSetNamedSecurityInfoW)) {
  g_open_hook = &open_;
  g_create_hook = &create_;
  g_set_security_hook = &set_security_;
  g_set_named_security_hook = &set_named_security_;
  g_refused = 0;
}

ScopedWindowsRegistryAccessRules::~ScopedWindowsRegistryAccessRules() {
  g_open_hook = nullptr;
  g_create_hook = nullptr;
  g_set_security_hook = nullptr;
  g_set_named_security_hook = nullptr;
}

int ScopedWindowsRegistryAccessRules::refused() const {
  return g_refused;
}

}  // namespace platform_rules
