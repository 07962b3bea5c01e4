#include "desktop/windows/installer/service/transactions/file_transfer_operation.h"

#include <windows.h>

#include <map>
#include <tuple>

#include "base/files/file_util.h"
#include "base/files/held_entry_win.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

bool MakeRoomAt(const base::FilePath& destination, Transaction* prerequisites) {
  const base::FilePath folder = destination.DirName();
  uint32_t attributes;
  if (!ReadAttributes(folder, &attributes))
    return false;
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return prerequisites->AddAndExecute(new CreateFolderOperation(folder));
  }
  if (!ReadAttributes(destination, &attributes))
    return false;
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return prerequisites->AddAndExecute(
        new DeleteFileOperation(destination, false, false));
  }
  return true;
}

// The item at |path| itself (a folder too, a link as the link), opened
// for its attributes; its identity in |info|. Invalid when that fails.
base::win::ScopedHandle OpenItem(const base::FilePath& path,
                                 BY_HANDLE_FILE_INFORMATION* info) {
  base::win::ScopedHandle handle(::CreateFileW(
      as_wcstr(path.value()), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr));
  if (handle.IsValid() && !::GetFileInformationByHandle(handle.Get(), info))
    handle.Close();
  return handle;
}

using Identity = std::tuple<DWORD, DWORD, DWORD>;

Identity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return Identity(info.dwVolumeSerialNumber, info.nFileIndexHigh,
                  info.nFileIndexLow);
}

// Items that a rollback gave back as new copies (moved back across
// volumes), by the identity they had before: an earlier operation that put
// the item there still knows it by that. The file system never hands an old
// identity to a new item, so an entry never names anything else.
std::map<Identity, Identity>& GivenBack() {
  static std::map<Identity, Identity>* given_back =
      new std::map<Identity, Identity>;
  return *given_back;
}

// Whether |now| is |item|, or what the rollbacks made of it.
bool IsOrBecame(const BY_HANDLE_FILE_INFORMATION& now,
                const BY_HANDLE_FILE_INFORMATION& item) {
  Identity identity = IdentityOf(item);
  for (size_t steps = 0; steps <= GivenBack().size(); ++steps) {
    if (identity == IdentityOf(now))
      return true;
    const auto next = GivenBack().find(identity);
    if (next == GivenBack().end())
      return false;
    identity = next->second;
  }
  return false;
}

// Sets the attributes among |attributes| that a file takes (what makes it
// a folder or a link is not set this way) on what |handle| has open.
bool SetAttributesOn(HANDLE handle, DWORD attributes) {
  FILE_BASIC_INFO basic = {};  // Times of zero stay as they are.
  basic.FileAttributes =
      attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  if (!basic.FileAttributes)
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileInformationByHandle(handle, FileBasicInfo, &basic,
                                      sizeof(basic)) != FALSE;
}

// Gives the item at |path| |attributes| (when 0, its own and the read-only
// mark), when it is still |item| or what a rollback made of it.
void PutBackAttributes(const base::FilePath& path,
                       const BY_HANDLE_FILE_INFORMATION& item,
                       DWORD attributes) {
  BY_HANDLE_FILE_INFORMATION now;
  base::win::ScopedHandle handle = OpenItem(path, &now);
  if (!handle.IsValid() || !IsOrBecame(now, item) ||
      !SetAttributesOn(handle.Get(),
                       attributes ? attributes
                                  : now.dwFileAttributes |
                                        FILE_ATTRIBUTE_READONLY)) {
    PLOG(ERROR) << "Couldn't put back the attributes of " << path.value();
  }
}

}  // namespace

FileTransferOperation::FileTransferOperation(const base::FilePath& source,
                                             const base::FilePath& destination)
    : source_(source), destination_(destination) {}

FileTransferOperation::~FileTransferOperation() {
  // Committed: the moved item keeps the attributes it had.
  if (executed_ && source_attributes_changed_ && transferred_known_)
    PutBackAttributes(destination_, transferred_, 0);
}

bool FileTransferOperation::Execute(Transaction* prerequisites) {
  // Put back under their own names, never under an alias the caller gave.
  source_ = OwnName(source_);
  destination_ = OwnName(destination_);
  if (!MakeRoomAt(destination_, prerequisites))
    return false;

  // The source's identity tells whether a move left it in place, and lets
  // a rollback that gives it back as a new copy say what it became. Its
  // read-only mark is lifted, and put back, on that item only.
  base::win::ScopedHandle source = OpenItem(source_, &source_item_);
  source_known_ = source.IsValid();
  if (!source_known_ && LiftsReadOnly()) {
    PLOG(ERROR) << "Couldn't tell what " << source_.value() << " is";
    return false;
  }
  // The mark belongs to the file, not the name: lifted, it would stay
  // lifted under the file's other names. Such a file is only renamed, which
  // keeps it.
  within_volume_ = LiftsReadOnly() &&
                   (source_item_.dwFileAttributes & FILE_ATTRIBUTE_READONLY) &&
                   source_item_.nNumberOfLinks > 1;
  if (within_volume_)
    VLOG(1) << source_.value() << " has other names; it stays on its volume";
  // Nothing of ours may stay open below a folder that is moved.
  source.Close();

  if (!Transfer()) {
    LOG(ERROR) << "File copy failed";
    return false;
  }
  VLOG(1) << "File copied successfully";
  executed_ = true;
  transferred_known_ = OpenItem(destination_, &transferred_).IsValid();
  if (!transferred_known_) {
    // A later undo could not tell it from what takes the name since: it is
    // undone now, while the name is certainly the transfer's.
    PLOG(ERROR) << "Couldn't tell what " << destination_.value() << " is";
    if (UndoTransfer())
      executed_ = false;
    return false;
  }
  if (LiftsReadOnly() && SourceStayed()) {
    // Copied, not moved: the source is still the user's item, and the copy
    // goes, so that a rollback finds everything where it was.
    LOG(ERROR) << source_.value() << " could not be removed after its copy to "
               << destination_.value() << "; the move fails";
    source_stayed_ = true;
    if (RemoveCopy())
      executed_ = false;
    return false;
  }
  return true;
}

bool FileTransferOperation::LiftReadOnly(HANDLE source) {
  if (!(source_item_.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
    return true;
  if (!SetAttributesOn(source, source_item_.dwFileAttributes &
                                   ~FILE_ATTRIBUTE_READONLY)) {
    PLOG(ERROR) << "Couldn't clear RO attribute of " << source_.value();
    return false;
  }
  source_attributes_ = source_item_.dwFileAttributes;
  source_attributes_changed_ = true;
  return true;
}

bool FileTransferOperation::IsTransferred(HANDLE item) const {
  BY_HANDLE_FILE_INFORMATION now;
  return transferred_known_ && ::GetFileInformationByHandle(item, &now) &&
         IsOrBecame(now, transferred_);
}

// static
bool FileTransferOperation::OpenHeld(const base::FilePath& path,
                                     DWORD access,
                                     base::HeldEntry* folder,
                                     base::HeldEntry* entry) {
  if (folder->Open(path.DirName(), base::HeldEntry::kHoldFolder) &&
      entry->OpenIn(*folder, path.BaseName().value(), access)) {
    return true;
  }
  PLOG(ERROR) << "Couldn't open " << path.value();
  return false;
}

bool FileTransferOperation::OpenTransferred(DWORD access,
                                            base::HeldEntry* folder,
                                            base::HeldEntry* item) const {
  if (!OpenHeld(destination_, access, folder, item))
    return false;
  // Not identified, it was undone at once, while the name was certainly
  // the transfer's.
  if (transferred_known_ && !IsTransferred(item->Get())) {
    LOG(ERROR) << destination_.value()
               << " is no longer what was put there; it stays";
    return false;
  }
  return true;
}

bool FileTransferOperation::SourceStayed() const {
  BY_HANDLE_FILE_INFORMATION now;
  if (!OpenItem(source_, &now).IsValid()) {
    // Unknown is taken as moved: the copy may then be the only one.
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      PLOG(ERROR) << "Couldn't tell whether " << source_.value()
                  << " is still there";
    }
    return false;
  }
  // A rename that only changed the name's case reaches the moved item.
  return SameFile(now, source_item_) && !SameFile(now, transferred_);
}

bool FileTransferOperation::RemoveCopy() const {
  base::HeldEntry copy;
  BY_HANDLE_FILE_INFORMATION now;
  if (!copy.Open(destination_,
                 base::HeldEntry::DeleteAccess(transferred_.dwFileAttributes)) ||
      !copy.ReadInfo(&now) || !SameFile(now, transferred_) ||
      !base::DeleteHeld(&copy, now.dwFileAttributes, true)) {
    PLOG(ERROR) << "Couldn't remove the copy at " << destination_.value();
    return false;
  }
  return true;
}

bool FileTransferOperation::UndoTransfer() {
  if (source_stayed_)
    return RemoveCopy();
  if (!Undo())
    return false;
  // Moved back across volumes, the item is a new copy: earlier operations
  // that know it by its old identity are told the new one.
  BY_HANDLE_FILE_INFORMATION now;
  if (!source_known_ || !LiftsReadOnly())
    return true;
  if (!OpenItem(source_, &now).IsValid()) {
    PLOG(ERROR) << "Couldn't tell what " << source_.value() << " became";
    return true;
  }
  if (!SameFile(now, source_item_))
    GivenBack()[IdentityOf(source_item_)] = IdentityOf(now);
  return true;
}

bool FileTransferOperation::IsStillTransferred() const {
  BY_HANDLE_FILE_INFORMATION now;
  if (IsTransferred(OpenItem(destination_, &now).Get()))
    return true;
  LOG(ERROR) << destination_.value()
             << " is not known to be what was put there; it stays";
  return false;
}

void FileTransferOperation::Rollback() {
  // What replaced the transferred item since is someone else's.
  const bool source_back =
      !executed_ || (IsStillTransferred() && UndoTransfer());
  // An item whose move back failed stays moved, and keeps its mark.
  if (source_back)
    executed_ = false;
  // The source stays the user's: it gets its read-only mark back even when
  // the transfer itself failed; but what took its name meanwhile does not.
  if (source_attributes_changed_ && source_back)
    PutBackAttributes(source_, source_item_, source_attributes_);
}

}  // namespace installer
