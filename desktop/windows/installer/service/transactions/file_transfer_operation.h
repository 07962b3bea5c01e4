#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_TRANSFER_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_TRANSFER_OPERATION_H_

#include <windows.h>
#include <stdint.h>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace base {
class HeldEntry;
}

namespace installer {

// What the copy and the move share: room is made at the destination first
// (a missing folder is created, a file in the way is moved aside, both as
// sub-operations). A move to another volume lifts the source's read-only
// mark for the transfer and puts it back on rollback, and on the moved item
// at commit.
class FileTransferOperation : public Operation {
 public:
  ~FileTransferOperation() override;

  bool Execute(Transaction* prerequisites) override;
  void Rollback() override;

 protected:
  FileTransferOperation(const base::FilePath& source,
                        const base::FilePath& destination);

  // Logs the start of the transfer, then transfers.
  virtual bool Transfer() = 0;
  // Undoes a transfer that succeeded. False when the source's item could
  // not be put back under its name.
  virtual bool Undo() = 0;
  // Whether the transfer needs the source's read-only mark lifted: a copy
  // only reads its source.
  virtual bool LiftsReadOnly() const = 0;

  const base::FilePath& source() const { return source_; }
  const base::FilePath& destination() const { return destination_; }
  // Whether the source may only be renamed within its volume: a read-only
  // file with other names.
  bool within_volume() const { return within_volume_; }
  // What the source was when it was checked.
  const BY_HANDLE_FILE_INFORMATION& source_item() const {
    return source_item_;
  }
  // Lifts the read-only mark of the checked source, which |source| has
  // open, for a transfer that deletes it; it comes back on rollback.
  bool LiftReadOnly(HANDLE source);
  // Whether |item| is the transferred item, or what a later operation's
  // rollback made of it.
  bool IsTransferred(HANDLE item) const;
  // Opens the entry at |path| as itself in its folder, which |folder| then
  // holds, for |access|; logged when that fails.
  static bool OpenHeld(const base::FilePath& path,
                       DWORD access,
                       base::HeldEntry* folder,
                       base::HeldEntry* entry);
  // Opens the transferred item at the destination the same way: false,
  // logged, when what is there is not what was put there.
  bool OpenTransferred(DWORD access,
                       base::HeldEntry* folder,
                       base::HeldEntry* item) const;
  // False while the transferred item is undone at once, as it could not be
  // identified: its name is then certainly the transfer's.
  bool transferred_known() const { return transferred_known_; }

 private:
  base::FilePath source_;
  base::FilePath destination_;
  bool executed_ = false;
  // The source's attributes before its read-only mark was lifted.
  uint32_t source_attributes_ = 0;
  bool source_attributes_changed_ = false;
  bool within_volume_ = false;
  // Whether the item at the destination is still the one transferred, or
  // what a later operation gave back in its place.
  bool IsStillTransferred() const;
  // Whether a move left its source in place: copied to another volume, its
  // source could not be deleted (another program holds it open).
  bool SourceStayed() const;
  // Deletes the copy at the destination, when it is still the transferred
  // item, through its handle.
  bool RemoveCopy() const;
  // Undoes the transfer; when the source comes back as a new copy, earlier
  // operations are told its new identity.
  bool UndoTransfer();

  // What the source was before the transfer.
  BY_HANDLE_FILE_INFORMATION source_item_ = {};
  bool source_known_ = false;
  // The move copied its source, which stayed: undone by removing the copy.
  bool source_stayed_ = false;

  // What the transferred item is, so that a rollback undoes it and a
  // commit gives it its mark, and nothing else.
  BY_HANDLE_FILE_INFORMATION transferred_ = {};
  bool transferred_known_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_TRANSFER_OPERATION_H_
