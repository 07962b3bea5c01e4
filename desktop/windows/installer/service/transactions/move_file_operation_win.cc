#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"

namespace installer {

MoveFileOperation::MoveFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : FileTransferOperation(source, destination) {}

bool MoveFileOperation::Transfer() {
  VLOG(1) << "Moving " << source().value() << "to" << destination().value();
  // Room was made at the destination: whatever took the name since is
  // someone else's, and stays.
  if (!within_volume())
    return base::MoveWithoutReplacing(source(), destination());
  if (::MoveFileExW(as_wcstr(source().value()),
                    as_wcstr(destination().value()), 0)) {
    return true;
  }
  // Not off its volume either: the copy made there would take the mark
  // with it, the file left under the other names would not get it back.
  PLOG(ERROR) << "Couldn't move " << source().value()
              << ", a read-only file with other names, within its volume";
  return false;
}

bool MoveFileOperation::LiftsReadOnly() const {
  // A move to another volume deletes its source, which the mark forbids.
  return true;
}

bool MoveFileOperation::Undo() {
  // The moved item is the only copy: it goes back to the source, which the
  // move left free, never away.
  return MoveBack(destination(), source());
}

}  // namespace installer
