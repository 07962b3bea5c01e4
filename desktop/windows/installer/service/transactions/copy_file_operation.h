#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_

#include "desktop/windows/installer/service/transactions/file_transfer_operation.h"

namespace installer {

// Copies one file; a rollback removes the copy and the sub-operations bring
// back what stood at the destination.
class CopyFileOperation : public FileTransferOperation {
 public:
  CopyFileOperation(const base::FilePath& source,
                    const base::FilePath& destination);

 protected:
  bool Transfer() override;
  bool Undo() override;
  bool LiftsReadOnly() const override;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_
