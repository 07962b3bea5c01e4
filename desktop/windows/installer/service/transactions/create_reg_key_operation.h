#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REG_KEY_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REG_KEY_OPERATION_H_

#if defined(_WIN32)

#include <windows.h>

#include <memory>
#include <string>

#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

struct SavedAccess;

// Creates a registry key with every missing level; a rollback deletes the
// highest level it created, with everything written below it since.
class CreateRegKeyOperation : public Operation {
 public:
  CreateRegKeyOperation(HKEY root, const std::wstring& key);
  ~CreateRegKeyOperation() override;

  bool Execute(Transaction* prerequisites) override;
  void Rollback() override;

  // The key at the full path once Execute made it, held (with
  // KEY_QUERY_VALUE and KEY_CREATE_SUB_KEY); null when it stood already.
  HKEY key() const { return key_made_; }

 private:
  std::wstring key_;
  HKEY root_;
  std::wstring first_created_;
  // The first level made, and the level above it, held: a rollback removes
  // only that key, found below that parent, never another at its name.
  HKEY first_made_ = nullptr;
  HKEY first_parent_ = nullptr;
  HKEY key_made_ = nullptr;
  std::unique_ptr<SavedAccess> saved_access_;
};

}  // namespace installer

#endif  // defined(_WIN32)

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REG_KEY_OPERATION_H_
