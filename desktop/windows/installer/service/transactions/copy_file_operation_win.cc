#include "desktop/windows/installer/service/transactions/copy_file_operation.h"

#include "base/files/file_util.h"
#include "base/files/held_entry_win.h"
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
  // The source never left. The copy goes, and only the copy: it is checked
  // and deleted through one handle, whatever takes the name meanwhile.
  base::HeldEntry folder;
  base::HeldEntry copy;
  if (!OpenTransferred(base::HeldEntry::kChange, &folder, &copy))
    return false;
  if (!base::DeleteHeld(&copy, 0, false)) {
    PLOG(ERROR) << "Couldn't remove the copy at " << destination().value();
    return false;
  }
  return true;
}

}  // namespace installer
