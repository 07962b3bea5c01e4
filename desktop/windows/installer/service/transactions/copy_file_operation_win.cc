#include "desktop/windows/installer/service/transactions/copy_file_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"

namespace installer {

CopyFileOperation::CopyFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : FileTransferOperation(source, destination) {}

bool CopyFileOperation::Transfer() {
  VLOG(1) << "Copying " << source().value() << " to " << destination().value();
  // Room was made at the destination: whatever took the name since is
  // someone else's, and stays.
  return base::CopyFileWithoutReplacing(source(), destination());
}

bool CopyFileOperation::LiftsReadOnly() const {
  return false;  // The source stays exactly as it was.
}

bool CopyFileOperation::Undo() {
  base::DeleteFile(destination(), false);
  return true;  // The source never left.
}

}  // namespace installer
