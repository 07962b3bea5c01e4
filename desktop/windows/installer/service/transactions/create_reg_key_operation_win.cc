#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"

#include <utility>
#include <vector>

#include "base/logging.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/reg_key_names_win.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

// The level |name| below |above|, made when missing, in |key|: true with
// |created| set when it came back new. A level that is a link is refused.
LONG OpenOrMakeLevel(HKEY above,
                     const std::wstring& name,
                     HKEY* key,
                     bool* created) {
  *created = false;
  LONG result = OpenKeyItself(above, name, KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY,
                              key);
  if (result == ERROR_FILE_NOT_FOUND) {
    DWORD disposition = 0;
    result = ::RegCreateKeyExW(above, name.c_str(), 0, nullptr,
                               REG_OPTION_NON_VOLATILE, KEY_CREATE_SUB_KEY,
                               nullptr, key, &disposition);
    if (result == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
      *created = true;
      return result;
    }
    // Made in between: what stands there now is looked at as itself.
    if (result == ERROR_SUCCESS)
      ::RegCloseKey(*key);
    *key = nullptr;
    if (result == ERROR_SUCCESS) {
      result = OpenKeyItself(above, name, KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY,
                             key);
    }
  }
  if (result != ERROR_SUCCESS)
    return result;
  bool link = false;
  bool is_volatile = false;
  result = ReadKeyKind(*key, &link, &is_volatile);
  if (result == ERROR_SUCCESS && link)
    result = ERROR_ALREADY_EXISTS;
  if (result != ERROR_SUCCESS) {
    ::RegCloseKey(*key);
    *key = nullptr;
  }
  return result;
}

}  // namespace

CreateRegKeyOperation::CreateRegKeyOperation(HKEY root, const std::wstring& key)
    : key_(key), root_(root) {}

CreateRegKeyOperation::~CreateRegKeyOperation() {
  // A failure is logged by RestoreAccess, naming the key.
  if (saved_access_)
    RestoreAccess(&saved_access_);
}

bool CreateRegKeyOperation::Execute(Transaction* prerequisites) {
  VLOG(1) << "Attempting to create registry key " << key_ << " under "
          << root_;
  {
    // Windows denies an open only of a key that is there, so a denial is
    // taken as "it exists" once a second open, asking for less, agrees:
    // a single spurious denial must not skip the creation. Any other
    // failure says nothing about the key.
    base::win::RegKey existing;
    LONG result = existing.Open(root_, key_.c_str(), KEY_QUERY_VALUE);
    if (result == ERROR_ACCESS_DENIED)
      result = existing.Open(root_, key_.c_str(), READ_CONTROL);
    if (result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED) {
      VLOG(1) << "The key already exists. No need to do anything.";
      return true;
    }
    if (result != ERROR_FILE_NOT_FOUND) {
      LOG(ERROR) << "Failed to open key " << RegistryObjectName(root_, key_)
                 << ": error " << result;
      return false;
    }
  }

  VLOG(1) << "Attempting to find the nearest existing ancestor.";
  std::wstring candidate = key_.substr(0, key_.find(L'\0'));
  std::wstring parent;
  bool ancestor_denied = false;
  // Each step drops one level, so the search ends at the root.
  for (;;) {
    if (candidate.empty()) {
      LOG(ERROR) << "No existing ancestor found.";
      return false;
    }
    parent = ParentKeyPath(candidate);
    base::win::RegKey ancestor;
    const LONG result =
        ancestor.Open(root_, parent.c_str(), KEY_CREATE_SUB_KEY);
    if (result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED) {
      ancestor_denied = result == ERROR_ACCESS_DENIED;
      break;
    }
    if (result != ERROR_FILE_NOT_FOUND) {
      LOG(ERROR) << "Existing ancestor could not be opened.";
      return false;
    }
    candidate = parent;
  }

  VLOG(1) << "Ancestor found: " << parent;
  const std::wstring object_name = RegistryObjectName(root_, parent);
  if (ancestor_denied ||
      !HasAccess(object_name, SE_REGISTRY_KEY,
                 KEY_QUERY_VALUE | KEY_SET_VALUE)) {
    VLOG(1) << "No access to" << object_name;
    if (!GrantUserAccess(object_name, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY,
                         false, &saved_access_)) {
      LOG(ERROR) << "Failed obtaining permissions on " << object_name;
      return false;
    }
  }

  // Level by level, each below the handle of the one above it, opened as
  // itself: a level that another program made meanwhile is not ours to
  // remove, only one that came back new, and a link there leads elsewhere,
  // so it is refused. The first new level is known at once, so that a
  // rollback also removes the levels of a creation that failed halfway.
  std::vector<std::wstring> levels;
  for (std::wstring level = key_.substr(0, key_.find(L'\0'));
       level.size() >= candidate.size(); level = ParentKeyPath(level)) {
    levels.push_back(level);
  }
  ScopedKey above;
  if (::RegOpenKeyExW(root_, parent.c_str(), 0, KEY_CREATE_SUB_KEY,
                      &above.handle) != ERROR_SUCCESS) {
    LOG(ERROR) << "Existing ancestor could not be opened.";
    return false;
  }
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    const std::wstring name = level->substr(level->find_last_of(L'\\') + 1);
    ScopedKey opened;
    bool created = false;
    const LONG result = OpenOrMakeLevel(above.handle, name, &opened.handle,
                                        &created);
    // A level made before a later one failed is still removed by rollback.
    if (created && first_created_.empty())
      first_created_ = *level;
    if (result != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed creating key "
                 << RegistryObjectName(root_, *level) << ": error " << result;
      return false;
    }
    std::swap(above.handle, opened.handle);
  }
  return true;
}

void CreateRegKeyOperation::Rollback() {
  if (first_created_.empty())
    return;
  // The same walk as a deletion's: a link put in the new branch goes, not
  // what it points to. Where that fails, the branch is made whole again.
  DeleteRegKeyOperation removal(root_, first_created_);
  if (!removal.Execute(nullptr)) {
    LOG(ERROR) << "Failed to remove key "
               << RegistryObjectName(root_, first_created_);
    removal.Rollback();
  }
}

}  // namespace installer
