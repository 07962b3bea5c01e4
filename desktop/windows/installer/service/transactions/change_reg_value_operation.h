#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REG_VALUE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REG_VALUE_OPERATION_H_

#if defined(_WIN32)

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "desktop/windows/installer/service/transactions/reg_key_names_win.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

struct SavedAccess;

// Sets or removes one registry value; a rollback puts back the old type
// and bytes, or removes a value that was new.
class ChangeRegValueOperation : public Operation {
 public:
  // The type that means "remove the value".
  static constexpr DWORD kRemoveValue = 0xFFFFFFFF;

  // |data| (|size| bytes) is copied; any type is written as it comes. An
  // empty |value_name| is the key's default value.
  ChangeRegValueOperation(HKEY root,
                          const std::wstring& key,
                          const std::wstring& value_name,
                          const void* data,
                          DWORD type,
                          DWORD size);
  ~ChangeRegValueOperation() override;

  bool Execute(Transaction* prerequisites) override;
  void Rollback() override;

 private:
  // Opens |key_| for reading and writing values, creating it through a
  // sub-operation and widening access when needed. Sets |nothing_to_do|
  // when the value is to be removed from a key that does not exist.
  bool OpenKey(Transaction* prerequisites, bool* nothing_to_do);
  // Writes the old_ fields back through |key|, or removes a value that was
  // new. The registry's result.
  LONG PutBackOldValue(HKEY key);
  // Puts the old value back into the key this transaction's rollback made
  // again in place of the one |key_| was open on; ERROR_KEY_DELETED when
  // there is none.
  LONG PutBackIntoRebuiltKey();
  // Opens the key at |key_name_| by name, as itself, with whatever access
  // its list gives: the handle every later open of the key goes through.
  LONG FindKey(HKEY* key);
  // Opens |key_| as the key |found| is open on, to read and write values.
  LONG OpenFoundKey(HKEY found);
  // Whether |key| is the key itself and no link, read before anything is
  // granted on it; a link, or a kind that cannot be read, is refused with
  // an error line naming |object_name|.
  bool IsOwnKey(HKEY key, const std::wstring& object_name);
  // Reads the current value into the old_ fields.
  bool ReadOldValue(const std::wstring& object_name);

  HKEY root_;
  std::wstring key_name_;
  std::wstring value_name_;
  ScopedKey key_;
  // Apart from the type: any type, 0xFFFFFFFF too, may be stored.
  bool old_exists_ = false;
  DWORD old_type_ = REG_NONE;
  DWORD new_type_;
  std::vector<BYTE> old_data_;
  std::vector<BYTE> new_data_;
  bool executed_ = false;
  std::unique_ptr<SavedAccess> saved_access_;
};

}  // namespace installer

#endif  // defined(_WIN32)

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REG_VALUE_OPERATION_H_
