#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Creates a folder with every missing level; a rollback removes exactly the
// levels it created, deepest first, as far as they are empty.
class CreateFolderOperation : public Operation {
 public:
  explicit CreateFolderOperation(const base::FilePath& path);
  ~CreateFolderOperation() override;

  bool Execute(Transaction* prerequisites) override;
  void Rollback() override;

 private:
  base::FilePath path_;
  // The nearest folder that existed before; empty when nothing was created.
  base::FilePath valid_ancestor_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
