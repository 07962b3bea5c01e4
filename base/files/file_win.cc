#include "base/files/file.h"

#include <windows.h>

namespace base {

File::File()
    : error_details_(FILE_ERROR_FAILED), created_(false), async_(false) {}

File::File(const FilePath& path, uint32_t flags)
    : error_details_(FILE_OK), created_(false), async_(false) {
  Initialize(path, flags);
}

File::~File() {
  Close();
}

void File::Initialize(const FilePath& path, uint32_t flags) {
  if (path.ReferencesParent()) {
    error_details_ = FILE_ERROR_ACCESS_DENIED;
    return;
  }
  DoInitialize(path, flags);
}

void File::DoInitialize(const FilePath& path, uint32_t flags) {
  const CreateParams params = GetCreateParams(flags);
  if (!params.disposition) {
    // Nothing can be opened without being told how; a closed file must not
    // read as a successful open.
    error_details_ = FILE_ERROR_FAILED;
    return;
  }

  file_.Set(::CreateFileW(as_wcstr(path.value()), params.access, params.share,
                          nullptr, params.disposition,
                          params.flags_and_attributes, nullptr));
  if (!file_.IsValid()) {
    error_details_ = OSErrorToFileError(::GetLastError());
    return;
  }
  error_details_ = FILE_OK;
  async_ = (flags & FLAG_ASYNC) != 0;
  if (flags & FLAG_OPEN_ALWAYS)
    created_ = ::GetLastError() != ERROR_ALREADY_EXISTS;
  else if (flags & (FLAG_CREATE_ALWAYS | FLAG_CREATE))
    created_ = true;
}

void File::Close() {
  file_.Close();
}

int64_t File::Seek(Whence whence, int64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  if (!::SetFilePointerEx(file_.Get(), distance, &position,
                          static_cast<DWORD>(whence))) {
    return -1;
  }
  return position.QuadPart;
}

int File::ReadAtCurrentPos(char* data, int size) {
  if (size < 0)
    return -1;
  DWORD bytes_read = 0;
  if (::ReadFile(file_.Get(), data, static_cast<DWORD>(size), &bytes_read,
                 nullptr)) {
    return static_cast<int>(bytes_read);
  }
  if (::GetLastError() == ERROR_HANDLE_EOF)
    return 0;
  return -1;
}

int File::Write(int64_t offset, const char* data, int size) {
  // A negative size would turn into a huge unsigned count and read past
  // the caller's buffer.
  if (size < 0)
    return -1;
  OVERLAPPED overlapped = {};
  overlapped.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
  overlapped.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  DWORD bytes_written = 0;
  if (!::WriteFile(file_.Get(), data, static_cast<DWORD>(size), &bytes_written,
                   &overlapped)) {
    return -1;
  }
  return static_cast<int>(bytes_written);
}

int64_t File::GetLength() {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file_.Get(), &size))
    return -1;
  return size.QuadPart;
}

bool File::SetLength(int64_t length) {
  LARGE_INTEGER zero = {};
  LARGE_INTEGER old_position;
  if (!::SetFilePointerEx(file_.Get(), zero, &old_position, FILE_CURRENT))
    return false;
  LARGE_INTEGER new_length;
  new_length.QuadPart = length;
  if (!::SetFilePointerEx(file_.Get(), new_length, nullptr, FILE_BEGIN))
    return false;
  if (!::SetEndOfFile(file_.Get()))
    return false;
  return ::SetFilePointerEx(file_.Get(), old_position, nullptr, FILE_BEGIN) !=
         FALSE;
}

bool File::GetInfo(Info* info) {
  BY_HANDLE_FILE_INFORMATION file_info;
  if (!::GetFileInformationByHandle(file_.Get(), &file_info))
    return false;
  info->size = (static_cast<int64_t>(file_info.nFileSizeHigh) << 32) |
               file_info.nFileSizeLow;
  info->is_directory =
      (file_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->is_symbolic_link = false;
  info->last_modified = Time::FromFileTime(file_info.ftLastWriteTime);
  info->last_accessed = Time::FromFileTime(file_info.ftLastAccessTime);
  info->creation_time = Time::FromFileTime(file_info.ftCreationTime);
  return true;
}

bool File::Flush() {
  return ::FlushFileBuffers(file_.Get()) != FALSE;
}

}  // namespace base
