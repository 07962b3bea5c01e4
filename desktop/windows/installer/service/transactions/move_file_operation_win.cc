#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/files/held_entry_win.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

// Renames what |entry| holds to |to| within its volume, never over what
// holds that name. False with ERROR_NOT_SAME_DEVICE when |to| is on another
// volume.
bool RenameHeld(const base::HeldEntry& entry, const base::FilePath& to) {
  base::HeldEntry folder;
  return folder.Open(to.DirName(), base::HeldEntry::kHoldFolder) &&
         entry.RenameInto(folder, to.BaseName().value(), false);
}

// Moves the file |entry| holds, |from| in the folder |folder| holds, to
// |to| on another volume: copied there from what is checked to be that
// file, never over what holds |to|, then deleted through |entry|. When the
// deletion is refused (another program has it open), the file stays; its
// copy too when |copy_stays|, as with a move by name: the caller finds the
// source still there and removes the copy, which a rollback tries again.
// Otherwise the copy goes at once.
bool MoveFileAcross(const base::HeldEntry& folder,
                    base::HeldEntry* entry,
                    const base::FilePath& from,
                    const base::FilePath& to,
                    bool copy_stays) {
  // Read through a second handle on the name in the held folder: nobody
  // renames what |entry| holds without delete sharing, and the identity
  // is checked besides.
  base::HeldEntry source;
  base::HeldEntry to_folder;
  base::HeldEntry copy;
  BY_HANDLE_FILE_INFORMATION held, read, copied;
  if (!entry->ReadInfo(&held) ||
      !source.OpenIn(folder, from.BaseName().value(),
                     base::HeldEntry::kCopySource,
                     FILE_SHARE_READ | FILE_SHARE_DELETE) ||
      !source.ReadInfo(&read) || !SameFile(held, read) ||
      !to_folder.Open(to.DirName(), base::HeldEntry::kHoldFolder) ||
      !base::CopyHeldFile(source, to_folder, to.BaseName().value(), &copy,
                          &copied)) {
    PLOG(ERROR) << "Couldn't copy " << from.value() << " to " << to.value();
    return false;
  }
  source.Close();
  if (base::DeleteHeld(entry, held.dwFileAttributes, false))
    return true;
  PLOG(ERROR) << "Couldn't remove " << from.value() << " after its copy to "
              << to.value() << "; it stays";
  if (copy_stays)
    return true;
  if (!copy.SetDeletePending(true))
    PLOG(ERROR) << "The copy stays at " << to.value();
  return false;
}

}  // namespace

MoveFileOperation::MoveFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : FileTransferOperation(source, destination) {}

bool MoveFileOperation::Transfer() {
  VLOG(1) << "Moving " << source().value() << "to" << destination().value();
  base::HeldEntry folder;
  base::HeldEntry item;
  if (!OpenHeld(source(), base::HeldEntry::kChange, &folder, &item))
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
  // mark forbids. A file goes through its handle; a folder is moved by
  // name, with nothing of ours open below it.
  if (!LiftReadOnly(item.Get()))
    return false;
  if (!(now.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return MoveFileAcross(folder, &item, source(), destination(), true);
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
  if (!OpenTransferred(base::HeldEntry::kChange, &folder, &item))
    return false;
  if (RenameHeld(item, source()))
    return true;
  if (::GetLastError() != ERROR_NOT_SAME_DEVICE) {
    PLOG(ERROR) << "Couldn't move " << destination().value() << " back to "
                << source().value() << "; it stays";
    return false;
  }
  // Unread, it is taken for a file: that way fails rather than going by
  // name.
  BY_HANDLE_FILE_INFORMATION now;
  if (!item.ReadInfo(&now) || !(now.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return MoveFileAcross(folder, &item, destination(), source(), false);
  item.Close();
  folder.Close();
  return MoveBack(destination(), source());
}

}  // namespace installer
