#include "base/files/file_enumerator.h"

#include <string.h>

#include "base/logging.h"
#include "base/win/windows_version.h"

namespace base {

namespace {

bool IsDotOrDotDot(const wchar_t* name) {
  return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

// Sets |enter| when |path| is a real folder: following a junction or a
// link could walk (and callers then delete or copy) a tree elsewhere, or
// loop. An entry gone since it was listed is not entered; false when the
// attributes cannot be read, which leaves what is below unknown.
bool ShouldEnter(const FilePath& path, bool* enter) {
  const DWORD attributes = ::GetFileAttributesW(as_wcstr(path.value()));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    *enter = false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  *enter = (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  return true;
}

}  // namespace

FileEnumerator::FileInfo::FileInfo() {
  memset(&find_data_, 0, sizeof(find_data_));
}

FileEnumerator::FileInfo::FileInfo(const WIN32_FIND_DATAW& find_data)
    : find_data_(find_data) {}

bool FileEnumerator::FileInfo::IsDirectory() const {
  return (find_data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FileEnumerator::FileEnumerator(const FilePath& root_path,
                               bool recursive,
                               int file_type)
    : FileEnumerator(root_path, recursive, file_type, string16()) {}

FileEnumerator::FileEnumerator(const FilePath& root_path,
                               bool recursive,
                               int file_type,
                               const string16& pattern)
    : has_find_data_(false),
      find_handle_(INVALID_HANDLE_VALUE),
      root_path_(root_path),
      recursive_(recursive),
      file_type_(file_type),
      pattern_(pattern),
      error_(ERROR_SUCCESS) {
  memset(&find_data_, 0, sizeof(find_data_));
  pending_paths_.push(root_path);
}

FileEnumerator::~FileEnumerator() {
  if (find_handle_ != INVALID_HANDLE_VALUE)
    ::FindClose(find_handle_);
}

FileEnumerator::FileInfo FileEnumerator::GetInfo() const {
  // All zero until the first search starts.
  return FileInfo(find_data_);
}

void FileEnumerator::OpenSearch() {
  root_path_ = pending_paths_.top();
  pending_paths_.pop();
  const FilePath src =
      root_path_.Append(pattern_.empty() ? StringPiece16(u"*") : pattern_);
  // Windows 7 can leave out the short names and fetch in large batches.
  if (win::GetVersion() >= win::OSInfo::VERSION_WIN7) {
    find_handle_ = ::FindFirstFileExW(as_wcstr(src.value()), FindExInfoBasic,
                                      &find_data_, FindExSearchNameMatch,
                                      nullptr, FIND_FIRST_EX_LARGE_FETCH);
  } else {
    find_handle_ = ::FindFirstFileW(as_wcstr(src.value()), &find_data_);
  }
  has_find_data_ = true;
  // Not found: nothing matches the pattern, a normal end.
  const DWORD error = ::GetLastError();
  if (find_handle_ == INVALID_HANDLE_VALUE && error != ERROR_FILE_NOT_FOUND)
    Fail(root_path_, error);
}

void FileEnumerator::Fail(const FilePath& folder, DWORD error) {
  error_ = error;
  LOG(ERROR) << "Listing " << folder.AsUTF8Unsafe() << " stopped early: "
             << SystemErrorCodeToString(error);
}

FilePath FileEnumerator::Next() {
  while (!failed() && (has_find_data_ || !pending_paths_.empty())) {
    if (!has_find_data_) {
      OpenSearch();
    } else if (!::FindNextFileW(find_handle_, &find_data_)) {
      const DWORD error = ::GetLastError();
      ::FindClose(find_handle_);
      find_handle_ = INVALID_HANDLE_VALUE;
      if (error != ERROR_NO_MORE_FILES)
        Fail(root_path_, error);
    }

    if (find_handle_ == INVALID_HANDLE_VALUE) {
      // This folder is done. The pattern applies to the first folder only.
      has_find_data_ = false;
      pattern_.clear();
      continue;
    }

    if (IsDotOrDotDot(find_data_.cFileName))
      continue;

    const FilePath current =
        root_path_.Append(as_u16cstr(find_data_.cFileName));
    if (find_data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      bool enter = false;
      if (recursive_ && !ShouldEnter(current, &enter)) {
        Fail(current, ::GetLastError());
        break;
      }
      if (enter)
        pending_paths_.push(current);
      if (file_type_ & DIRECTORIES)
        return current;
    } else if (file_type_ & FILES) {
      return current;
    }
  }
  // Callers that log the failure find its error.
  if (failed())
    ::SetLastError(error_);
  return FilePath();
}

}  // namespace base
