#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"

#include <utility>
#include <vector>

#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/reg_key_names_win.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

constexpr REGSAM kLevelAccess = KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY;

// The level |name| below |above|, made when missing, in |key|: true with
// |created| set when it came back new. A level that is a link is refused;
// one made in between by another program is used, never counted as ours.
LONG OpenOrMakeLevel(HKEY above,
                     const std::wstring& name,
                     HKEY* key,
                     bool* created) {
  *created = false;
  LONG result = OpenKeyItself(above, name, kLevelAccess, key);
  if (result == ERROR_FILE_NOT_FOUND) {
    result = MakeKeyItself(above, name, REG_OPTION_NON_VOLATILE, kLevelAccess,
                           key, created);
  }
  if (result != ERROR_SUCCESS || *created)
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
  for (HKEY key : {first_made_, first_parent_, key_made_}) {
    if (key)
      ::RegCloseKey(key);
  }
}

bool CreateRegKeyOperation::Execute(Transaction* prerequisites) {
  VLOG(1) << "Attempting to create registry key " << key_ << " under "
          << root_;
  const std::vector<std::wstring> names = KeyLevels(key_);
  const std::wstring path = JoinLevels(names, names.size());
  {
    // Windows denies an open only of a key that is there, so a denial is
    // taken as "it exists" once a second open, asking for less, agrees:
    // a single spurious denial must not skip the creation. Any other
    // failure says nothing about the key. Opened as itself: a link there
    // leads to another program's key, which is not the one asked for.
    ScopedKey existing;
    LONG result =
        OpenKeyItself(root_, path, KEY_QUERY_VALUE, &existing.handle);
    bool link = false;
    bool is_volatile = false;
    if (result == ERROR_SUCCESS)
      result = ReadKeyKind(existing.handle, &link, &is_volatile);
    if (result == ERROR_SUCCESS && link) {
      LOG(ERROR) << "Refusing to make key " << RegistryObjectName(root_, path)
                 << ": a link stands there";
      return false;
    }
    if (result == ERROR_ACCESS_DENIED && !existing.handle) {
      ScopedKey denied;
      result = OpenKeyItself(root_, path, READ_CONTROL, &denied.handle);
    }
    if (result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED) {
      VLOG(1) << "The key already exists. No need to do anything.";
      return true;
    }
    if (result != ERROR_FILE_NOT_FOUND) {
      LOG(ERROR) << "Failed to open key " << RegistryObjectName(root_, path)
                 << ": error " << result;
      return false;
    }
  }

  VLOG(1) << "Attempting to find the nearest existing ancestor.";
  // How many of the levels stand; the root always does. The ancestor is
  // held as itself from here on, with whatever access its list gives: a
  // link put at its name later leads nowhere we make keys.
  size_t standing = names.size();
  std::wstring parent;
  ScopedKey ancestor;
  for (;;) {
    if (standing == 0) {
      LOG(ERROR) << "No existing ancestor found.";
      return false;
    }
    parent = JoinLevels(names, --standing);
    const LONG result = OpenKeyToGrant(root_, parent, &ancestor.handle);
    if (result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED)
      break;
    if (result != ERROR_FILE_NOT_FOUND) {
      LOG(ERROR) << "Existing ancestor could not be opened.";
      return false;
    }
  }

  VLOG(1) << "Ancestor found: " << parent;
  const std::wstring object_name = RegistryObjectName(root_, parent);
  ScopedKey above;
  LONG result = ancestor.handle ? OpenKeyItself(ancestor.handle, L"",
                                                kLevelAccess, &above.handle)
                                : ERROR_ACCESS_DENIED;
  // Asked of the key held, never of its name. One that gives us no handle
  // at all is refused below, not looked for again by name.
  if (ancestor.handle &&
      (result == ERROR_ACCESS_DENIED ||
       (result == ERROR_SUCCESS &&
        !KeyAllows(ancestor.handle, KEY_QUERY_VALUE | KEY_SET_VALUE)))) {
    VLOG(1) << "No access to" << object_name;
    if (!GrantUserAccess(object_name, SE_REGISTRY_KEY, kLevelAccess, false,
                         &saved_access_, ancestor.handle)) {
      LOG(ERROR) << "Failed obtaining permissions on " << object_name;
      return false;
    }
    if (!above.handle) {
      result = OpenKeyItself(ancestor.handle, L"", kLevelAccess,
                             &above.handle);
    }
  }
  bool link = false;
  bool is_volatile = false;
  if (result == ERROR_SUCCESS)
    result = ReadKeyKind(above.handle, &link, &is_volatile);
  if (result != ERROR_SUCCESS || link) {
    LOG(ERROR) << "Existing ancestor " << object_name
               << " could not be opened as itself: "
               << (link ? "it is a link" : "error " + std::to_string(result));
    return false;
  }

  // Level by level, each below the handle of the one above it, as itself:
  // a level that another program made meanwhile is not ours to remove,
  // only one that came back new, and a link there leads elsewhere, so it
  // is refused. The first new level is held at once, so that a rollback
  // also removes the levels of a creation that failed halfway.
  for (size_t level = standing; level < names.size(); ++level) {
    ScopedKey opened;
    bool created = false;
    const LONG result = OpenOrMakeLevel(above.handle, names[level],
                                        &opened.handle, &created);
    if (created && !first_made_) {
      first_created_ = JoinLevels(names, level + 1);
      first_made_ = DuplicateKey(opened.handle);
      first_parent_ = DuplicateKey(above.handle);
      if (!first_made_ || !first_parent_) {
        LOG(ERROR) << "Cannot hold key "
                   << RegistryObjectName(root_, first_created_)
                   << ", made here: a rollback leaves it";
        return false;
      }
    }
    if (result != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed creating key "
                 << RegistryObjectName(root_, JoinLevels(names, level + 1))
                 << ": error " << result;
      return false;
    }
    std::swap(above.handle, opened.handle);
  }
  key_made_ = above.handle;
  above.handle = nullptr;
  return true;
}

void CreateRegKeyOperation::Rollback() {
  if (!first_made_ || !first_parent_)
    return;
  // The same walk as a deletion's, below the held parent and only of the
  // key made here: a link put in the new branch goes, not what it points
  // to, and a key another program put at the name stays. Where the walk
  // fails, the branch is made whole again.
  DeleteRegKeyOperation removal(root_, first_created_, first_parent_,
                                first_made_);
  if (!removal.Execute(nullptr)) {
    LOG(ERROR) << "Failed to remove key "
               << RegistryObjectName(root_, first_created_);
    removal.Rollback();
  }
}

}  // namespace installer
