#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"

#include <set>
#include <vector>

#include "base/logging.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/reg_key_names_win.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

// DELETE | READ_CONTROL | KEY_QUERY_VALUE | KEY_SET_VALUE |
// KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY
constexpr REGSAM kSaveAndDeleteAccess = 0x3001F;
constexpr SECURITY_INFORMATION kSavedSecurity = OWNER_SECURITY_INFORMATION |
                                                GROUP_SECURITY_INFORMATION |
                                                DACL_SECURITY_INFORMATION |
                                                LABEL_SECURITY_INFORMATION;

// The saved owner, group, and the integrity label when the key had one.
void PutBackOwnerGroupAndLabel(HKEY root,
                               HKEY key,
                               const SavedRegistryKey& record) {
  if (record.security_descriptor.empty())
    return;
  SECURITY_DESCRIPTOR owner;
  if (!record.owner.empty() &&
      (!::InitializeSecurityDescriptor(&owner, SECURITY_DESCRIPTOR_REVISION) ||
       !::SetSecurityDescriptorOwner(
           &owner, const_cast<BYTE*>(record.owner.data()), FALSE) ||
       CallTwice([&] {
         return ::RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, &owner);
       }) != ERROR_SUCCESS)) {
    LOG(ERROR) << "Failed to put back the owner of "
               << RegistryObjectName(root, record.name);
  }
  PSECURITY_DESCRIPTOR descriptor =
      const_cast<BYTE*>(record.security_descriptor.data());
  SECURITY_INFORMATION what = GROUP_SECURITY_INFORMATION;
  BOOL has_label = FALSE;
  PACL sacl = nullptr;
  BOOL defaulted = FALSE;
  if (::GetSecurityDescriptorSacl(descriptor, &has_label, &sacl, &defaulted) &&
      has_label) {
    what |= LABEL_SECURITY_INFORMATION;
  }
  if (CallTwice([&] { return ::RegSetKeySecurity(key, what, descriptor); }) !=
      ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to put back the group and label of "
               << RegistryObjectName(root, record.name);
  }
}

}  // namespace

SavedRegistryKey::SavedRegistryKey() = default;
SavedRegistryKey::~SavedRegistryKey() {
  if (handle)
    ::RegCloseKey(handle);
}

DeleteRegKeyOperation::DeleteRegKeyOperation(HKEY root, const std::wstring& key)
    : key_(key), root_(root) {}

DeleteRegKeyOperation::DeleteRegKeyOperation(HKEY root,
                                             const std::wstring& key,
                                             HKEY parent,
                                             HKEY only)
    : key_(key),
      root_(root),
      parent_(DuplicateKey(parent)),
      held_(true),
      only_(DuplicateKey(only)) {}

DeleteRegKeyOperation::~DeleteRegKeyOperation() {
  // Another operation may still hold a key deleted here, and ask for the
  // key rebuilt in its place.
  saved_keys_.clear();
  ForgetUnheldRebuiltKeys();
  for (HKEY key : {parent_, only_}) {
    if (key)
      ::RegCloseKey(key);
  }
}

bool DeleteRegKeyOperation::Execute(Transaction* prerequisites) {
  VLOG(1) << "Attempting to delete registry key " << key_ << " under "
          << root_;
  // An empty path names the root itself: deleting "it" would empty the
  // whole hive.
  if (key_.find_first_not_of(L'\\') == std::wstring::npos ||
      key_.find(L'\0') != std::wstring::npos) {
    LOG(ERROR) << "Refusing to delete key " << RegistryObjectName(root_, key_);
    return false;
  }
  // One name for each saved key: "tree\" would save "tree\\c", whose
  // parent is no saved key, and rebuild it beside the tree; and the name
  // the access checks go by must be one the system takes.
  const std::vector<std::wstring> levels = KeyLevels(key_);
  key_ = JoinLevels(levels, levels.size());
  const std::wstring object_name = RegistryObjectName(root_, key_);
  // Resolved once, here: the tree is found below this parent now and made
  // again below it at rollback. The key itself is opened as itself: a link
  // there goes, not what it points to.
  if (held_ && (!parent_ || !only_)) {
    LOG(ERROR) << "Not deleting key " << object_name << ": it is not held";
    return false;
  }
  // Deleted and made again by a later step's rollback, the parent is that
  // key now.
  if (parent_)
    FollowRebuiltKey(&parent_);
  if (!parent_) {
    const LONG opened = ::RegOpenKeyExW(root_, ParentKeyPath(key_).c_str(), 0,
                                        MAXIMUM_ALLOWED, &parent_);
    if (opened == ERROR_FILE_NOT_FOUND) {
      parent_ = nullptr;
      VLOG(1) << "Key does not exist. Nothing to do.";
      return true;
    }
    if (opened != ERROR_SUCCESS) {
      parent_ = nullptr;
      LOG(ERROR) << "Failed to open the key above " << object_name
                 << ": error " << opened;
      return false;
    }
  }
  ScopedKey key;
  const LONG result =
      OpenKeyItself(parent_, LeafKeyName(key_), KEY_QUERY_VALUE, &key.handle);
  if (result == ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "Key does not exist. Nothing to do.";
    return true;
  }
  if (result != ERROR_SUCCESS && result != ERROR_ACCESS_DENIED) {
    LOG(ERROR) << "Failed to open key " << object_name;
    return false;
  }
  key.Close();
  return DeleteAndSaveRecursive(parent_, LeafKeyName(key_), key_,
                                object_name);
}

void DeleteRegKeyOperation::Rollback() {
  // The whole tree is rebuilt first, parents before children, and only then
  // does each key get its access list back, deepest first: a parent's own
  // list may deny creating subkeys. Wine would let that pass; Windows not.
  // The parent deleted by a later step was made again by its rollback:
  // the tree comes back below that key.
  if (parent_)
    FollowRebuiltKey(&parent_);
  RebuildState state(saved_keys_.size());
  for (size_t i = 0; i < saved_keys_.size(); ++i) {
    if (!state.standing[i])
      Rebuild(i, &state);
  }
  // Of a key that stays missing, the log keeps the only copy of each value.
  for (size_t i = 0; i < saved_keys_.size(); ++i) {
    if (state.standing[i])
      continue;
    const SavedRegistryKey& record = *saved_keys_[i];
    for (const SavedRegistryValue& value : record.values) {
      LOG(ERROR) << "Lost " << value.name << " of "
                 << RegistryObjectName(root_, record.name) << ", "
                 << DescribeValueData(value.type, value.data);
    }
  }
  // Any owner, not only the caller.
  ScopedPrivilege restore(L"SeRestorePrivilege");
  // Every key stands before the keys below it.
  std::set<std::wstring> rebuilt_names;
  for (size_t i = saved_keys_.size(); i-- > 0;) {
    if (!state.made[i])
      continue;
    const SavedRegistryKey& record = *saved_keys_[i];
    if (record.handle)
      NoteRebuiltKey(record.handle, state.open[i]);
    PutBackOwnerGroupAndLabel(root_, state.open[i], record);
    const std::vector<BYTE>& dacl = record.original_dacl.empty()
                                        ? record.security_descriptor
                                        : record.original_dacl;
    if (!dacl.empty() && CallTwice([&] {
          return ::RegSetKeySecurity(state.open[i], DACL_SECURITY_INFORMATION,
                                     const_cast<BYTE*>(dacl.data()));
        }) != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to put back the access list of "
                 << RegistryObjectName(root_, record.name);
    }
    rebuilt_names.insert(RegistryObjectName(root_, record.name));
  }
  // A key that a failure left standing still has the access list that was
  // widened to delete it. RestoreAccess logs a failure, naming the key.
  for (auto it = grants_.rbegin(); it != grants_.rend(); ++it) {
    if (*it && !rebuilt_names.count((*it)->object_name))
      RestoreAccess(&*it);
  }
  grants_.clear();
  // A failure is logged by RestoreAccess, naming the key.
  if (parent_access_)
    RestoreAccess(&parent_access_);
}

DeleteRegKeyOperation::RebuildState::RebuildState(size_t count)
    : open(count, nullptr),
      made(count, false),
      standing(count, false),
      given_up(count, false),
      attempts(count, 0) {}

DeleteRegKeyOperation::RebuildState::~RebuildState() {
  for (HKEY key : open) {
    if (key)
      ::RegCloseKey(key);
  }
}

bool DeleteRegKeyOperation::Rebuild(size_t index, RebuildState* state) {
  const SavedRegistryKey& record = *saved_keys_[index];
  if (state->given_up[index])
    return false;
  // Created on the way to a key below it, a missing parent would come back
  // with default security and none of its values: it is tried again first,
  // and when it stays missing, so do the keys below it. Each key is made
  // below the handle of the one above it: by name from the root, a link
  // put in between would lead out of the tree.
  HKEY base = parent_;
  std::wstring relative = LeafKeyName(record.name);
  const std::wstring parent_name = ParentKeyPath(record.name);
  for (size_t parent = index; parent-- > 0;) {
    if (saved_keys_[parent]->name != parent_name)
      continue;
    if (!state->standing[parent] && !Rebuild(parent, state)) {
      LOG(ERROR) << "Not rebuilding key "
                 << RegistryObjectName(root_, record.name)
                 << ": the key above it is missing";
      state->given_up[index] = true;
      return false;
    }
    base = state->open[parent];
    relative = record.name.substr(record.name.find_last_of(L'\\') + 1);
    break;
  }
  // Twice at most: every key below a missing one asks for it again.
  if (state->attempts[index] >= 2)
    return false;
  ++state->attempts[index];

  HKEY key = nullptr;
  LONG result = OpenStandingKey(base, relative, record, &key);
  if (result == ERROR_SUCCESS) {
    // Never gone, or made again by another program: theirs stays as it is.
    state->standing[index] = true;
    state->open[index] = key;
    for (const SavedRegistryValue& value :
         record.deleted ? record.values : std::vector<SavedRegistryValue>()) {
      LOG(ERROR) << "Not putting back " << value.name << " in "
                 << RegistryObjectName(root_, record.name)
                 << ", made again meanwhile, "
                 << DescribeValueData(value.type, value.data);
    }
    return true;
  }
  bool made = false;
  if (result == ERROR_FILE_NOT_FOUND)
    result = CreateSavedKey(base, relative, record, &key, &made);
  if (result == ERROR_SUCCESS && !made) {
    // Made in between by someone else, or a link put there: not ours.
    ::RegCloseKey(key);
    result = ERROR_ALREADY_EXISTS;
  }
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to rebuild key "
               << RegistryObjectName(root_, record.name) << ": error "
               << result;
    return false;
  }
  state->standing[index] = true;
  state->made[index] = true;
  state->open[index] = key;
  for (const SavedRegistryValue& value : record.values) {
    if (CallTwice([&] {
          return SetValueExactly(key, value.name, value.type, value.data);
        }) != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to put back " << value.name << " in "
                 << RegistryObjectName(root_, record.name) << ", "
                 << DescribeValueData(value.type, value.data);
    }
  }
  return true;
}

LONG DeleteRegKeyOperation::OpenStandingKey(HKEY base,
                                            const std::wstring& relative,
                                            const SavedRegistryKey& record,
                                            HKEY* key) {
  ScopedKey standing;
  auto open = [&] {
    return OpenKeyItself(base, relative, KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY,
                         &standing.handle);
  };
  // Tried again unless missing, which is an answer.
  LONG result = open();
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
    result = open();
  if (result != ERROR_SUCCESS)
    return result;
  bool link = false;
  bool is_volatile = false;
  result = ReadKeyKind(standing.handle, &link, &is_volatile);
  if (result != ERROR_SUCCESS)
    return result;
  if (link) {
    // Only the saved link itself, still pointing where it did, stands.
    const std::vector<BYTE> target = ReadLinkTarget(standing.handle);
    bool same = false;
    for (const SavedRegistryValue& value : record.values) {
      same |= record.link && value.type == REG_LINK &&
              value.name == kLinkValueName && value.data == target;
    }
    if (!same)
      return ERROR_ALREADY_EXISTS;
  } else if (record.link) {
    return ERROR_ALREADY_EXISTS;
  }
  *key = standing.handle;
  standing.handle = nullptr;
  return ERROR_SUCCESS;
}

LONG DeleteRegKeyOperation::CreateSavedKey(HKEY base,
                                           const std::wstring& relative,
                                           const SavedRegistryKey& record,
                                           HKEY* key,
                                           bool* made) {
  const DWORD options =
      (record.is_volatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE) |
      (record.link ? REG_OPTION_CREATE_LINK : 0);
  auto create = [&] {
    return CallTwice([&] {
      return MakeKeyItself(base, relative, options,
                           kSaveAndDeleteAccess | WRITE_DAC | WRITE_OWNER, key,
                           made);
    });
  };
  LONG result = create();
  // Deleting the tree needed no right on its parent; making it again needs
  // KEY_CREATE_SUB_KEY there, which goes back to its list at the end.
  if (result != ERROR_ACCESS_DENIED || record.name != key_ || parent_access_)
    return result;
  const std::wstring parent = RegistryObjectName(root_, ParentKeyPath(key_));
  if (!GrantUserAccess(parent, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY, false,
                       &parent_access_, base)) {
    LOG(ERROR) << "Failed obtaining permissions on " << parent;
    return result;
  }
  return create();
}

bool DeleteRegKeyOperation::DeleteAndSaveRecursive(
    HKEY parent,
    const std::wstring& relative,
    const std::wstring& key_name,
    const std::wstring& object_name) {
  VLOG(1) << "DeleteAndSaveRecursive : " << key_name;
  std::unique_ptr<SavedRegistryKey> record(new SavedRegistryKey);
  record->name = key_name;

  // Opened for every right the walk needs, which implies the right to
  // read and delete it.
  ScopedKey key;
  LONG result =
      OpenKeyItself(parent, relative, kSaveAndDeleteAccess, &key.handle);
  if (result != ERROR_SUCCESS) {
    if (result != ERROR_ACCESS_DENIED) {
      LOG(ERROR) << "Failed to open key " << object_name;
      return false;
    }
    VLOG(1) << "Insufficient permissions on the key";
    // Found once as itself with whatever access we get; the grant and the
    // open for the walk go through that handle, never the name again.
    ScopedKey found;
    result = OpenKeyToGrant(parent, relative, &found.handle);
    // The grant is for good (the key goes), but a rollback must rebuild the
    // key with the access list it had before.
    std::unique_ptr<SavedAccess> old_access;
    if (result != ERROR_SUCCESS ||
        !GrantUserAccess(object_name, SE_REGISTRY_KEY, kSaveAndDeleteAccess,
                         false, &old_access, found.handle)) {
      LOG(ERROR) << "Unable to obtain sufficient permissions on key"
                 << object_name
                 << (result ? ": error " + std::to_string(result) : "");
      return false;
    }
    if (old_access)
      record->owner = old_access->owner;
    if (old_access && old_access->descriptor) {
      const BYTE* bytes = static_cast<const BYTE*>(old_access->descriptor);
      record->original_dacl.assign(
          bytes, bytes + ::GetSecurityDescriptorLength(old_access->descriptor));
    }
    grants_.push_back(std::move(old_access));
    if (OpenKeyItself(found.handle, L"", kSaveAndDeleteAccess, &key.handle) !=
        ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to open key " << object_name;
      return false;
    }
  }

  // Of the key given by handle, only that key: another program's key at
  // its name stays, with everything below it.
  if (only_ && key_name == key_ && !IsHeldKey(key.handle, only_)) {
    LOG(ERROR) << "Not deleting key " << object_name
               << ": another key took its name";
    return false;
  }
  if (!SaveKey(key.handle, object_name, record.get()))
    return false;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (record->owner.empty() &&
      ::GetSecurityDescriptorOwner(record->security_descriptor.data(), &owner,
                                   &defaulted) &&
      owner) {
    const BYTE* bytes = static_cast<const BYTE*>(owner);
    record->owner.assign(bytes, bytes + ::GetLengthSid(owner));
  }
  SavedRegistryKey* saved = record.get();
  saved_keys_.push_back(std::move(record));

  // Each subkey is gone after its recursion (or the recursion failed), so
  // index 0 is always the next one. A link, opened itself, lists none.
  for (;;) {
    wchar_t subkey[256];  // key names are at most 255 characters
    DWORD subkey_size = ARRAYSIZE(subkey);
    result = ::RegEnumKeyExW(key.handle, 0, subkey, &subkey_size, nullptr,
                             nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS)
      break;
    if (result != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to read a subkey";
      return false;
    }
    const std::wstring name(subkey, subkey_size);
    if (!DeleteAndSaveRecursive(key.handle, name, key_name + L"\\" + name,
                                object_name + L"\\" + name)) {
      return false;
    }
  }

  // Through the handle the key was saved from. A key that stays would be
  // enumerated again by the level above, forever.
  result = DeleteOpenKey(key.handle);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to delete key " << object_name << ": error "
               << result;
    return false;
  }
  saved->deleted = true;
  saved->handle = key.handle;
  key.handle = nullptr;
  return true;
}

bool DeleteRegKeyOperation::SaveKey(HKEY key,
                                    const std::wstring& object_name,
                                    SavedRegistryKey* record) {
  const LONG kind = ReadKeyKind(key, &record->link, &record->is_volatile);
  if (kind != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to read the kind of key " << object_name
               << ": error " << kind;
    return false;
  }
  DWORD descriptor_size = 0;
  LONG result = ::RegGetKeySecurity(key, kSavedSecurity, nullptr,
                                    &descriptor_size);
  if (result != ERROR_SUCCESS && result != ERROR_INSUFFICIENT_BUFFER) {
    LOG(ERROR) << "Failed to obtain security descriptor for " << object_name;
    return false;
  }
  record->security_descriptor.resize(descriptor_size);
  if (descriptor_size &&
      ::RegGetKeySecurity(key, kSavedSecurity,
                          record->security_descriptor.data(),
                          &descriptor_size) != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to obtain security descriptor for " << object_name
               << "(but we succeeded earlier)";
    return false;
  }

  DWORD value_count = 0;
  DWORD longest_name = 0;
  DWORD longest_data = 0;
  DWORD longest_subkey = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr,
                         &longest_subkey, nullptr, &value_count, &longest_name,
                         &longest_data, nullptr, nullptr) != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to obtain key info for " << object_name;
    return false;
  }
  VLOG(1) << value_count << " values";

  // Read through one buffer; each value keeps only its own bytes.
  std::vector<wchar_t> name(longest_name + 1);
  std::vector<BYTE> data(longest_data);
  for (DWORD index = 0; index < value_count; ++index) {
    SavedRegistryValue value;
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = longest_data;
    if (::RegEnumValueW(key, index, name.data(), &name_size, nullptr,
                        &value.type, longest_data ? data.data() : nullptr,
                        &data_size) != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to obtain value nr " << index;
      return false;
    }
    value.name.assign(name.data(), name_size);
    value.data.assign(data.begin(), data.begin() + data_size);
    record->values.push_back(std::move(value));
  }
  return true;
}

}  // namespace installer
