#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/files/held_entry_win.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

// Opens the entry at |path| as itself in its folder, which |folder| then
// holds, for renaming.
bool OpenHeld(const base::FilePath& path,
              base::HeldEntry* folder,
              base::HeldEntry* entry) {
  if (folder->Open(path.DirName(), base::HeldEntry::kHoldFolder) &&
      entry->OpenIn(*folder, path.BaseName().value(),
                    base::HeldEntry::kChange)) {
    return true;
  }
  PLOG(ERROR) << "Couldn't open " << path.value();
  return false;
}

// Renames what |entry| holds to |to| within its volume, never over what
// holds that name. False with ERROR_NOT_SAME_DEVICE when |to| is on another
// volume.
bool RenameHeld(const base::HeldEntry& entry, const base::FilePath& to) {
  base::HeldEntry folder;
  return folder.Open(to.DirName(), base::HeldEntry::kHoldFolder) &&
         entry.RenameInto(folder, to.BaseName().value(), false);
}

}  // namespace

MoveFileOperation::MoveFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : FileTransferOperation(source, destination) {}

bool MoveFileOperation::Transfer() {
  VLOG(1) << "Moving " << source().value() << "to" << destination().value();
  base::HeldEntry folder;
  base::HeldEntry item;
  if (!OpenHeld(source(), &folder, &item))
    return false;
  BY_HANDLE_FILE_INFORMATION now;
  if (!item.ReadInfo(&now) || !SameFile(now, source_item())) {
    LOG(ERROR) << source().value() << " is no longer what was checked; it stays";
    return false;
  }
  // Room was made at the destination: whatever took the name since is
  // someone else's, and stays. A rename keeps the read-only mark.
  if (RenameHeld(item, destination()))
    return true;
  if (::GetLastError() != ERROR_NOT_SAME_DEVICE || within_volume()) {
    // Not off its volume either: the copy made there would take the mark
    // with it, the file left under the other names would not get it back.
    PLOG(ERROR) << "Couldn't move " << source().value() << " to "
                << destination().value();
    return false;
  }
  // Another volume: the item is copied there and deleted here, which the
  // mark forbids. Nothing of ours stays open on what is deleted.
  if (!LiftReadOnly(item.Get()))
    return false;
  item.Close();
  folder.Close();
  return base::MoveWithoutReplacing(source(), destination());
}

bool MoveFileOperation::LiftsReadOnly() const {
  // A move to another volume deletes its source, which the mark forbids.
  return true;
}

bool MoveFileOperation::Undo() {
  // The moved item is the only copy: it goes back to the source, which the
  // move left free, never away; and only the item moved, whatever took its
  // name since.
  base::HeldEntry folder;
  base::HeldEntry item;
  if (!OpenHeld(destination(), &folder, &item))
    return false;
  if (transferred_known() && !IsTransferred(item.Get())) {
    LOG(ERROR) << destination().value()
               << " is no longer what was moved there; it stays";
    return false;
  }
  if (RenameHeld(item, source()))
    return true;
  if (::GetLastError() != ERROR_NOT_SAME_DEVICE) {
    PLOG(ERROR) << "Couldn't move " << destination().value() << " back to "
                << source().value() << "; it stays";
    return false;
  }
  item.Close();
  folder.Close();
  return MoveBack(destination(), source());
}

}  // namespace installer
