#include "desktop/windows/installer/service/transactions/file_transfer_operation.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"

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

}  // namespace

FileTransferOperation::FileTransferOperation(const base::FilePath& source,
                                             const base::FilePath& destination)
    : source_(source), destination_(destination) {}

FileTransferOperation::~FileTransferOperation() = default;

bool FileTransferOperation::Execute(Transaction* prerequisites) {
  if (!MakeRoomAt(destination_, prerequisites))
    return false;

  // The transfer must not depend on whether the read-only mark could be
  // lifted: a moved file would keep it, unlike in a run without trouble.
  uint32_t attributes;
  if (!ReadAttributes(source_, &attributes))
    return false;
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY)) {
    if (!::SetFileAttributesW(as_wcstr(source_.value()),
                              attributes & ~FILE_ATTRIBUTE_READONLY)) {
      PLOG(ERROR) << "Couldn't clear RO attribute of " << source_.value();
      return false;
    }
    source_attributes_ = attributes;
    source_attributes_changed_ = true;
  }

  if (!Transfer()) {
    LOG(ERROR) << "File copy failed";
    return false;
  }
  VLOG(1) << "File copied successfully";
  executed_ = true;
  return true;
}

void FileTransferOperation::Rollback() {
  const bool source_back = !executed_ || Undo();
  // The source stays the user's: it gets its read-only mark back even when
  // the transfer itself failed; but what took its name meanwhile does not.
  if (source_attributes_changed_ && source_back &&
      base::PathExists(source_)) {
    ::SetFileAttributesW(as_wcstr(source_.value()), source_attributes_);
  }
}

}  // namespace installer
