#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"

#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/reg_key_names_win.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

constexpr REGSAM kValueAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;

}  // namespace

ChangeRegValueOperation::ChangeRegValueOperation(HKEY root,
                                                 const std::wstring& key,
                                                 const std::wstring& value_name,
                                                 const void* data,
                                                 DWORD type,
                                                 DWORD size)
    : root_(root), key_name_(key), value_name_(value_name), new_type_(type) {
  if (data && size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    new_data_.assign(bytes, bytes + size);
  }
}

ChangeRegValueOperation::~ChangeRegValueOperation() {
  // A failure is logged by RestoreAccess, naming the key.
  if (saved_access_)
    RestoreAccess(&saved_access_);
}

bool ChangeRegValueOperation::Execute(Transaction* prerequisites) {
  VLOG(1) << "Attempting to change registry value at " << root_ << ": "
          << key_name_ << " - " << value_name_
          << ". New Type:" << new_type_;
  bool nothing_to_do = false;
  if (!OpenKey(prerequisites, &nothing_to_do))
    return false;
  if (nothing_to_do)
    return true;

  const std::wstring object_name = RegistryObjectName(root_, key_name_);
  if (!ReadOldValue(object_name))
    return false;

  if (new_type_ != kRemoveValue) {
    if (SetValueExactly(key_.handle, value_name_, new_type_, new_data_) !=
        ERROR_SUCCESS) {
      LOG(ERROR) << "Failed writing " << value_name_ << " to " << object_name;
      return false;
    }
  } else if (!old_exists_) {
    VLOG(1) << "We are supposed to remove the value. Nothing to do.";
    return true;
  } else if (::RegDeleteValueW(key_.handle, value_name_.c_str()) !=
             ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to remove " << value_name_ << " from "
               << object_name;
    return false;
  }
  VLOG(1) << "Value changed successfully.";
  executed_ = true;
  return true;
}

void ChangeRegValueOperation::Rollback() {
  if (!executed_)
    return;
  const LONG result = CallTwice([this] {
    const LONG result = PutBackOldValue(key_.handle);
    // The key was deleted after Execute: only the key this transaction's
    // rollback made again in its place takes the value, never another
    // one at the name.
    return result == ERROR_KEY_DELETED ? PutBackIntoRebuiltKey() : result;
  });
  if (result == ERROR_SUCCESS)
    return;
  LOG(ERROR) << "Failed to put back " << value_name_ << " in "
             << RegistryObjectName(root_, key_name_) << ": error " << result
             << (old_exists_ ? ", " + DescribeValueData(old_type_, old_data_)
                             : std::string(", it was not there"));
}

LONG ChangeRegValueOperation::PutBackIntoRebuiltKey() {
  // Made with every access it needs, whatever its list says.
  ScopedKey rebuilt;
  rebuilt.handle = OpenRebuiltKey(key_.handle);
  return rebuilt.handle ? PutBackOldValue(rebuilt.handle) : ERROR_KEY_DELETED;
}

LONG ChangeRegValueOperation::PutBackOldValue(HKEY key) {
  if (!old_exists_) {
    const LONG result = ::RegDeleteValueW(key, value_name_.c_str());
    return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
  }
  return SetValueExactly(key, value_name_, old_type_, old_data_);
}

bool ChangeRegValueOperation::OpenKey(Transaction* prerequisites,
                                      bool* nothing_to_do) {
  // The name is resolved once, into |found|; every open after it goes
  // through that handle, so a key or link another program puts at the name
  // meanwhile is never the one written to.
  ScopedKey found;
  LONG result = FindKey(&found.handle);
  if (result == ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "Key does not exist,";
    if (new_type_ == kRemoveValue) {
      VLOG(1) << "but we are trying to remove the value, nothing to do.";
      *nothing_to_do = true;
      return true;
    }
    VLOG(1) << "try to create it.";
    CreateRegKeyOperation* create = new CreateRegKeyOperation(root_, key_name_);
    if (!prerequisites->AddAndExecute(create))
      return false;
    // Reached through the creation's own handle; only a key that stood
    // there already by then is found by name.
    found.handle = create->key() ? DuplicateKey(create->key()) : nullptr;
    result = found.handle ? ERROR_SUCCESS : FindKey(&found.handle);
  }

  // Whether the rights to write are there is asked of the key held, never
  // of its name: the open through the handle answers it.
  const std::wstring object_name = RegistryObjectName(root_, key_name_);
  if (result == ERROR_SUCCESS)
    result = OpenFoundKey(found.handle);
  if (result == ERROR_SUCCESS)
    return IsOwnKey(object_name);
  // A key that gives us no handle at all is not looked for again by name.
  if (result == ERROR_ACCESS_DENIED && found.handle) {
    VLOG(1) << "We don't have enough permissions on the key.";
    if (!GrantUserAccess(object_name, SE_REGISTRY_KEY, kValueAccess, false,
                         &saved_access_, found.handle)) {
      LOG(ERROR) << "Failed to obtain sufficient permissions on "
                 << object_name;
      return false;
    }
    result = OpenFoundKey(found.handle);
    if (result == ERROR_SUCCESS)
      return IsOwnKey(object_name);
  }
  LOG(ERROR) << "Failed to open " << object_name << ": error " << result;
  return false;
}

LONG ChangeRegValueOperation::OpenFoundKey(HKEY found) {
  key_.Close();
  return OpenKeyItself(found, L"", kValueAccess, &key_.handle);
}

bool ChangeRegValueOperation::IsOwnKey(const std::wstring& object_name) {
  // A link at the name leads to another program's key: written through,
  // the value would land there and stay.
  bool link = false;
  bool is_volatile = false;
  const LONG result = ReadKeyKind(key_.handle, &link, &is_volatile);
  if (result == ERROR_SUCCESS && !link)
    return true;
  LOG(ERROR) << "Refusing to write to " << object_name << ": "
             << (link ? "it is a link" : "error " + std::to_string(result));
  key_.Close();
  return false;
}

LONG ChangeRegValueOperation::FindKey(HKEY* key) {
  // Any access the list gives: the handle holds the key, and asks for
  // the rights to write only once they may have been granted.
  return OpenKeyToGrant(root_, key_name_, key);
}

bool ChangeRegValueOperation::ReadOldValue(const std::wstring& object_name) {
  DWORD size = 0;
  LONG result = ::RegQueryValueExW(key_.handle, value_name_.c_str(), nullptr,
                                   nullptr, nullptr, &size);
  if (result == ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "The value doesn't already exist.";
    old_exists_ = false;
    return true;
  }
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to read " << value_name_ << " from " << object_name;
    return false;
  }
  old_data_.resize(size);
  DWORD type = REG_NONE;
  result = ::RegQueryValueExW(key_.handle, value_name_.c_str(), nullptr,
                              &type, size ? old_data_.data() : nullptr, &size);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to read " << value_name_ << " from " << object_name
               << " (but we succeeded before).";
    return false;
  }
  old_data_.resize(size);
  old_type_ = type;
  old_exists_ = true;
  return true;
}

}  // namespace installer
