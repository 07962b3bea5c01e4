#include "desktop/windows/installer/service/transactions/delete_file_operation.h"

#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/held_entry_win.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

constexpr DWORD kDeleteAccess = FILE_GENERIC_WRITE | DELETE;  // 0x130116

bool IsProgramFile(const base::FilePath& path) {
  const string16 extension = path.Extension();
  return base::FilePath::CompareIgnoreCase(extension, u".exe") == 0 ||
         base::FilePath::CompareIgnoreCase(extension, u".dll") == 0;
}

// The entry |path| itself (a link as the link), opened for |access| and
// its identity.
base::win::ScopedHandle OpenEntry(const base::FilePath& path,
                                  DWORD access = 0) {
  return base::win::ScopedHandle(::CreateFileW(
      as_wcstr(path.value()), FILE_READ_ATTRIBUTES | access,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr));
}

std::wstring IdentityOf(const base::win::ScopedHandle& entry) {
  return entry.IsValid() ? FileObjectIdentity(entry.Get()) : std::wstring();
}

}  // namespace

bool ReadAttributes(const base::FilePath& path, uint32_t* attributes) {
  if (base::ReadFileAttributes(path, attributes))
    return true;
  PLOG(ERROR) << "Couldn't tell whether " << path.value() << " exists";
  return false;
}

base::FilePath OwnName(const base::FilePath& path) {
  const string16 base_name = path.BaseName().value();
  // A pattern would name some other entry.
  if (base_name.find_first_of(u"*?") != string16::npos)
    return path;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW(as_wcstr(path.value()), &data);
  if (find == INVALID_HANDLE_VALUE)
    return path;
  ::FindClose(find);
  return path.DirName().Append(as_u16cstr(data.cFileName));
}

bool MoveBack(const base::FilePath& from, const base::FilePath& to) {
  if (base::MoveWithoutReplacing(from, to))
    return true;
  PLOG(ERROR) << "Couldn't move " << from.value() << " back to " << to.value()
              << "; it stays at " << from.value();
  return false;
}

DeleteFileOperation::DeleteFileOperation(const base::FilePath& path,
                                         bool check_in_use,
                                         bool remove_empty_parents)
    : path_(path),
      check_in_use_(check_in_use),
      remove_empty_parents_(remove_empty_parents) {}

DeleteFileOperation::~DeleteFileOperation() {
  if (!executed_)
    return;
  VLOG(1) << "Actual removal of " << temporary_path_.value();
  DeleteMoved();
  if (!remove_empty_parents_)
    return;
  base::FilePath folder = path_.DirName();
  for (size_t level = 0; level <= path_.value().size(); ++level) {
    if (!::RemoveDirectoryW(as_wcstr(folder.value())))
      break;
    folder = folder.DirName();
  }
}

base::FilePath DeleteFileOperation::TemporaryPath(const base::FilePath& path,
                                                  int64_t seconds) {
  const std::string suffix =
      "." + std::to_string(static_cast<uint64_t>(seconds)) + ".old";
  return path.AddExtension(base::ASCIIToUTF16(suffix));
}

bool DeleteFileOperation::Execute(Transaction* prerequisites) {
  VLOG(1) << "Preparing file " << path_.value() << " for removal";
  uint32_t attributes;
  if (!ReadAttributes(path_, &attributes))
    return false;
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    VLOG(1) << "File does not exist. Nothing to do";
    return true;
  }
  path_ = OwnName(path_);
  temporary_path_ = TemporaryPath(path_, base::Time::Now().ToTimeT());
  if (temporary_path_.empty()) {
    LOG(ERROR) << "File removal failed";
    return false;
  }
  uint32_t temporary_attributes;
  if (!ReadAttributes(temporary_path_, &temporary_attributes))
    return false;
  if (temporary_attributes != INVALID_FILE_ATTRIBUTES) {
    LOG(ERROR) << "Temporary file with name" << temporary_path_.value()
               << "already exists";
    return false;
  }
  // What is moved must be the file the name showed, the one whose access
  // was widened. Its attributes are read from it before the access list
  // changes: changing it may change them as well (Wine rewrites the
  // read-only mark), and the rollback puts them back.
  base::win::ScopedHandle entry = OpenEntry(path_);
  BY_HANDLE_FILE_INFORMATION info;
  const std::wstring identity = IdentityOf(entry);
  if (identity.empty() || !::GetFileInformationByHandle(entry.Get(), &info)) {
    PLOG(ERROR) << "Couldn't tell what " << path_.value() << " is";
    return false;
  }
  attributes_ = info.dwFileAttributes;
  if (!EnsureAccess(&entry) || !MoveAside(identity))
    return false;
  identity_ = identity;
  VLOG(1) << "File moved successfully to " << temporary_path_.value();
  if (check_in_use_ && IsProgramFile(path_) && !CheckNotInUse())
    return false;
  executed_ = true;
  return true;
}

bool DeleteFileOperation::MoveAside(const std::wstring& identity) {
  base::HeldEntry folder;
  base::HeldEntry moved;
  if (!folder.Open(path_.DirName(), base::HeldEntry::kHoldFolder) ||
      !moved.OpenIn(folder, path_.BaseName().value(),
                    base::HeldEntry::kChange)) {
    PLOG(ERROR) << "File removal failed: couldn't open " << path_.value();
    return false;
  }
  if (FileObjectIdentity(moved.Get()) != identity) {
    LOG(ERROR) << path_.value() << " was replaced before its removal; it stays";
    if (saved_access_)
      PutBackGranted();
    return false;
  }
  if (!moved.RenameInto(folder, temporary_path_.BaseName().value(), false)) {
    PLOG(ERROR) << "File removal failed";
    return false;
  }
  // Without it, the commit finds the file under its temporary name only.
  if (!moved_known_)
    moved_known_ = ReadFileReference(moved.Get(), &moved_);
  return true;
}

void DeleteFileOperation::Rollback() {
  if (executed_) {
    // Whether or not the file gets its name back, it is the user's again:
    // the destructor must not remove it.
    executed_ = false;
    MoveBackMoved();
    return;
  }
  // The access list and attributes go back on the file where it is, never
  // on what took its name meanwhile.
  if (saved_access_)
    PutBackGranted();
}

void DeleteFileOperation::DeleteMoved() {
  base::HeldEntry folder;
  base::HeldEntry moved;
  const DWORD access = base::HeldEntry::DeleteAccess(attributes_);
  const bool opened = OpenMoved(access, &folder, &moved) ||
                      OpenMovedById(access, &moved);
  // The list goes back before the deletion: the file may live on under a
  // name another program gave it meanwhile, and the handle just opened
  // keeps the access the deletion needs.
  if (saved_access_)
    PutBackGranted();
  if (opened && base::DeleteHeld(&moved, 0, true))
    return;
  // Checked to be what was moved there just now; the system can only take
  // it by name.
  moved.Close();
  if (opened &&
      !::MoveFileExW(as_wcstr(temporary_path_.value()), nullptr,
                     MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
    PLOG(ERROR) << "Couldn't schedule the removal of "
                << temporary_path_.value();
  }
}

bool DeleteFileOperation::OpenMoved(DWORD access,
                                    base::HeldEntry* folder,
                                    base::HeldEntry* moved) {
  if (!folder->Open(path_.DirName(), base::HeldEntry::kHoldFolder) ||
      !moved->OpenIn(*folder, temporary_path_.BaseName().value(), access)) {
    PLOG(ERROR) << "Couldn't open " << temporary_path_.value();
    return false;
  }
  if (FileObjectIdentity(moved->Get()) != identity_) {
    ::SetLastError(ERROR_ALREADY_EXISTS);  // not gone: taken
    LOG(ERROR) << temporary_path_.value()
               << " is no longer what was moved there; it stays";
    return false;
  }
  return true;
}

bool DeleteFileOperation::OpenMovedById(DWORD access, base::HeldEntry* moved) {
  const DWORD error = ::GetLastError();
  if (!moved_known_ ||
      (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)) {
    return false;
  }
  // The file's id is checked as it opens: nothing else is opened so.
  moved->Adopt(OpenFileReference(moved_, access));
  if (!moved->IsValid()) {
    PLOG(ERROR) << "What was " << path_.value() << " is gone";
    return false;
  }
  return true;
}

void DeleteFileOperation::MoveBackMoved() {
  base::HeldEntry folder;
  base::HeldEntry moved;
  if (!OpenMoved(base::HeldEntry::kChange, &folder, &moved)) {
    stranded_ = true;
    // Wherever another program took it, it is still the file granted.
    if (saved_access_)
      PutBackGranted();
    return;
  }
  // Never over what holds the name now: both are kept, each under its own
  // name.
  stranded_ = !moved.RenameInto(folder, path_.BaseName().value(), false);
  if (stranded_) {
    PLOG(ERROR) << "Couldn't move " << temporary_path_.value() << " back to "
                << path_.value() << "; it stays at " << temporary_path_.value();
  }
  if (saved_access_)
    PutBackGranted();
}

void DeleteFileOperation::PutBackGranted() {
  // Opened again by its id, tried twice: the list must not stay wide.
  base::win::ScopedHandle granted(
      OpenFileReference(moved_, FILE_READ_ATTRIBUTES));
  if (!granted.IsValid())
    granted.Set(OpenFileReference(moved_, FILE_READ_ATTRIBUTES));
  if (!granted.IsValid() || !RestoreAccessOn(granted.Get(), &saved_access_)) {
    PLOG(ERROR) << "The access list of what was " << path_.value()
                << " stays widened";
  }
  // The list change may have changed them as well.
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = attributes_ & ~FILE_ATTRIBUTE_DIRECTORY;
  if (!basic.FileAttributes)
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  // A second try, as for the list: a scanner holding the file must not
  // leave it without its read-only mark for good.
  for (int tries = 0; tries < 2; ++tries) {
    base::win::ScopedHandle file(
        OpenFileReference(moved_, FILE_WRITE_ATTRIBUTES));
    if (::SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic,
                                     sizeof(basic))) {
      return;
    }
  }
  PLOG(ERROR) << "Couldn't put back the attributes of what was "
              << path_.value();
}

bool DeleteFileOperation::EnsureAccess(base::win::ScopedHandle* entry) {
  const std::wstring name(as_wcstr(path_.value()));
  if (HasAccess(name, SE_FILE_OBJECT, kDeleteAccess))
    return true;
  // Kept, unlike a plain permanent grant, so that a file that comes back on
  // rollback also gets its old access list back. Made through the handle
  // whose identity was read, the file then known by its id: the list goes
  // back on that file alone, whatever another program puts under the name.
  if (!ReadFileReference(entry->Get(), &moved_)) {
    PLOG(ERROR) << "Couldn't tell where " << path_.value() << " is";
    return false;
  }
  moved_known_ = true;
  if (!GrantUserAccessOn(entry->Get(), name, SE_FILE_OBJECT, kDeleteAccess,
                         false, &saved_access_)) {
    LOG(ERROR) << "Cannot obtain proper permissions on the file";
    return false;
  }
  return true;
}

bool DeleteFileOperation::CheckNotInUse() {
  HANDLE file = ::CreateFileW(as_wcstr(temporary_path_.value()), GENERIC_WRITE,
                              FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    ::CloseHandle(file);
    return true;
  }
  PLOG(ERROR) << "Attempt to open the file for writing failed";
  MoveBackMoved();
  LOG(ERROR) << "File removal failed";
  return false;
}

}  // namespace installer
