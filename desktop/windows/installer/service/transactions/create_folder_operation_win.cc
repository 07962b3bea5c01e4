#include "desktop/windows/installer/service/transactions/create_folder_operation.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/held_entry_win.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/utils.h"

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

// Whether |level| holds a folder that is no link: a level made by someone
// else is gone through only then.
bool IsPlainFolder(const base::HeldEntry& level) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!level.ReadInfo(&info))
    return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return true;
  }
  ::SetLastError(ERROR_DIRECTORY);
  return false;
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
      if (!MakeLevels())
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

bool CreateFolderOperation::MakeLevels() {
  std::vector<string16> names;
  for (base::FilePath level = path_; level != valid_ancestor_;
       level = level.DirName()) {
    names.push_back(level.BaseName().value());
  }
  // Each level is made in its held parent: one that another program made
  // first is theirs, and is only gone through.
  constexpr DWORD kAccess = base::HeldEntry::kHoldFolder | FILE_ADD_SUBDIRECTORY;
  base::HeldEntry parent;
  if (!parent.Open(valid_ancestor_, kAccess)) {
    PLOG(ERROR) << "Couldn't open " << valid_ancestor_.value();
    return false;
  }
  base::FilePath current = valid_ancestor_;
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    current = current.Append(*name);
    base::HeldEntry level;
    // A level made natively must be the one later Win32 names reach.
    if (!base::IsWin32Reachable(*name)) {
      PLOG(ERROR) << "Won't make " << current.value();
      return false;
    }
    if (level.CreateFolderIn(parent, *name, kAccess)) {
      made_.push_back({current, FileObjectIdentity(level.Get())});
    } else if (::GetLastError() != ERROR_ALREADY_EXISTS ||
               !level.OpenIn(parent, *name, kAccess) || !IsPlainFolder(level)) {
      PLOG(ERROR) << "Couldn't make " << current.value();
      return false;
    }
    parent = std::move(level);
  }
  return true;
}

void CreateFolderOperation::Rollback() {
  // Deepest first; a level that holds something else stays, and so do the
  // ones above it.
  for (auto made = made_.rbegin(); made != made_.rend(); ++made) {
    base::HeldEntry level;
    if (!level.Open(made->path, base::HeldEntry::kChange))
      return;
    if (made->identity.empty() ||
        FileObjectIdentity(level.Get()) != made->identity) {
      LOG(ERROR) << made->path.value() << " is not the folder made; it stays";
      return;
    }
    if (!base::DeleteHeld(&level, 0, false))
      return;
  }
}

}  // namespace installer
