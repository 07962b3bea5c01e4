#ifndef TESTING_WIN_REGISTRY_RULES_H_
#define TESTING_WIN_REGISTRY_RULES_H_

#include <windows.h>

#include <string>

#include "testing/win/platform_rules.h"

namespace platform_rules {

// Whether |privilege| is enabled in the caller's token right now (read
// from the token: Wine's PrivilegeCheck is not to be trusted here).
bool PrivilegeEnabled(const wchar_t* privilege);

// Makes |link| below |root| a registry link to the key |target| below
// |root|.
LONG MakeKeyLink(HKEY root,
                 const std::wstring& link,
                 const std::wstring& target);

// The target of the link |key| below |root|, as stored; empty when |key| is
// no link.
std::wstring KeyLinkTarget(HKEY root, const std::wstring& key);

// While alive, RegOpenKeyExW and RegCreateKeyExW of the test executable
// check key access lists as Windows does (Wine checks none):
// - opening a key needs the requested access on it;
// - creating a key that is missing needs KEY_CREATE_SUB_KEY on its deepest
//   existing ancestor; the new key gets the access list of the security
//   attributes, when given (Wine ignores them); the creator's handle has
//   the requested access whatever that list says; without attributes the
//   key named gets the entries its parent hands down (Wine gives none);
// - creating a key that exists is an open.
// Access is AccessCheck of the caller's token against the key's stored
// owner, group and access list, the owner holding READ_CONTROL and
// WRITE_DAC as on Windows. A refusal answers ERROR_ACCESS_DENIED and
// changes nothing.
// SetSecurityInfo and SetNamedSecurityInfoW on a key leave its access list
// protected from inheritance as told, or as it was when not told (Wine
// drops the protection on every change, even of the owner alone), and a
// new list's inheritable entries reach every subkey below whose list is
// not protected, replacing what it inherited before (Wine propagates
// nothing). RegSetKeySecurity propagates nothing, as on Windows.
// An open with REG_OPTION_OPEN_LINK is checked against the link's own
// list, and creating below a level that is there but cannot be read is
// refused. NtQueryKey answers KeyFlagsInformation (whether a key is a link
// or volatile), which Wine does not know. A key's owner can be set only to
// the caller, one of its groups that may own objects, or, with
// SeRestorePrivilege on, anyone (ERROR_INVALID_OWNER; Wine takes any); an
// owner-only change leaves the access list as it was, and a change of the
// list alone leaves the owner (Wine makes the caller's primary group the
// owner).
// GCC may keep an import's address in a register within one function: a
// test should not call these functions itself before the rules start.
class ScopedWindowsRegistryAccessRules {
 public:
  ScopedWindowsRegistryAccessRules();
  ~ScopedWindowsRegistryAccessRules();
  ScopedWindowsRegistryAccessRules(const ScopedWindowsRegistryAccessRules&) =
      delete;
  ScopedWindowsRegistryAccessRules& operator=(
      const ScopedWindowsRegistryAccessRules&) = delete;

  // Opens and creations refused so far.
  int refused() const;

 private:
  ScopedImportHook open_;
  ScopedImportHook create_;
  ScopedImportHook set_security_;
  ScopedImportHook set_named_security_;
  ScopedImportHook query_key_;
  ScopedImportHook set_key_security_;
};

// While alive, CreateFileW and OpenFileById of the test executable grant
// WRITE_OWNER as
// Windows does for a file whose access list denies it to the caller (a
// file the installer must take over): only through SeTakeOwnershipPrivilege
// enabled in the caller's token at the moment of the open. Every file
// counts as such a file: Wine derives a file's list from its Unix mode,
// which always gives the owner WRITE_OWNER, and stores no other. A refusal
// answers ERROR_ACCESS_DENIED.
class ScopedWindowsTakeOwnershipRules {
 public:
  ScopedWindowsTakeOwnershipRules();
  ~ScopedWindowsTakeOwnershipRules();
  ScopedWindowsTakeOwnershipRules(const ScopedWindowsTakeOwnershipRules&) =
      delete;
  ScopedWindowsTakeOwnershipRules& operator=(
      const ScopedWindowsTakeOwnershipRules&) = delete;

  // Opens refused so far.
  int refused() const;

 private:
  ScopedImportHook create_file_;
  ScopedImportHook open_by_id_;
};

}  // namespace platform_rules

#endif  // TESTING_WIN_REGISTRY_RULES_H_
