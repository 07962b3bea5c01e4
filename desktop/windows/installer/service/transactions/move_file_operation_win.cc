#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"

namespace installer {

MoveFileOperation::MoveFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : FileTransferOperation(source, destination) {}

bool MoveFileOperation::Transfer() {
  VLOG(1) << "Moving " << source().value() << "to" << destination().value();
  return base::MoveUnsafe(source(), destination());
}

void MoveFileOperation::Undo() {
  // The moved item is the only copy: it goes back to the source, which the
  // move left free, never away.
  MoveBack(destination(), source());
}

}  // namespace installer
