#include "desktop/windows/installer/service/transactions/create_folder_operation.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"

namespace installer {

namespace {

// Whether |path| is a folder, into |folder|. False when that cannot be
// told: a folder that could not be seen must not count as created.
bool ReadIsFolder(const base::FilePath& path, bool* folder) {
  uint32_t attributes;
  if (!ReadAttributes(path, &attributes))
    return false;
  *folder = attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY);
  return true;
}

}  // namespace

CreateFolderOperation::CreateFolderOperation(const base::FilePath& path)
    : path_(path) {}

CreateFolderOperation::~CreateFolderOperation() = default;

bool CreateFolderOperation::Execute(Transaction* prerequisites) {
  VLOG(1) << "Attempting to create folder " << path_.value();
  bool folder;
  if (!ReadIsFolder(path_, &folder)) {
    LOG(ERROR) << "Failed folder creation";
    return false;
  }
  if (folder) {
    VLOG(1) << "Folder already exists";
    return true;
  }
  // Each step is one level up, so the walk ends at the root at the latest.
  base::FilePath current = path_;
  for (size_t level = 0; level <= path_.value().size(); ++level) {
    const base::FilePath parent = current.DirName();
    if (!ReadIsFolder(parent, &folder))
      break;
    if (folder) {
      VLOG(1) << "Valid ancestor";
      // Known before creating, so that a rollback also clears the levels
      // of a creation that failed halfway.
      valid_ancestor_ = parent;
      if (!base::CreateDirectoryAndGetError(path_, nullptr))
        break;
      VLOG(1) << "Folder created successfully";
      return true;
    }
    if (parent == current)
      break;
    current = parent;
  }
  LOG(ERROR) << "Failed folder creation";
  return false;
}

void CreateFolderOperation::Rollback() {
  if (valid_ancestor_.empty())
    return;
  base::FilePath current = path_;
  for (size_t level = 0; level <= path_.value().size(); ++level) {
    if (current == valid_ancestor_)
      return;
    // A level that is missing was never made (a creation that failed
    // halfway); one that is not empty holds something else and stays.
    if (base::PathExists(current) &&
        !::RemoveDirectoryW(as_wcstr(current.value()))) {
      return;
    }
    const base::FilePath parent = current.DirName();
    if (parent == current)
      return;
    current = parent;
  }
}

}  // namespace installer
