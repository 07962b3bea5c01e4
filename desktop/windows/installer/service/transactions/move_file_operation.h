#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_

#include "desktop/windows/installer/service/transactions/file_transfer_operation.h"

namespace installer {

// Moves a file or folder; a rollback moves it back to its source.
class MoveFileOperation : public FileTransferOperation {
 public:
  MoveFileOperation(const base::FilePath& source,
                    const base::FilePath& destination);

 protected:
  bool Transfer() override;
  bool Undo() override;
  bool LiftsReadOnly() const override;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_
