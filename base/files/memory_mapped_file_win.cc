#include "base/files/memory_mapped_file.h"

#include <windows.h>

#include <limits>

namespace base {

MemoryMappedFile::MemoryMappedFile() : data_(nullptr), length_(0) {}

MemoryMappedFile::~MemoryMappedFile() {
  CloseHandles();
}

bool MemoryMappedFile::Initialize(const FilePath& path, Access access) {
  if (IsValid())
    return false;

  uint32_t flags = 0;
  if (access == READ_ONLY)
    flags = File::FLAG_OPEN | File::FLAG_READ;
  else if (access == READ_WRITE)
    flags = File::FLAG_OPEN | File::FLAG_READ | File::FLAG_WRITE;
  if (flags)
    file_.Initialize(path, flags);
  if (!file_.IsValid())
    return false;

  if (!MapFileToMemory(access)) {
    CloseHandles();
    return false;
  }
  return true;
}

bool MemoryMappedFile::MapFileToMemory(Access access) {
  const bool read_only = access == READ_ONLY;
  file_mapping_.Set(::CreateFileMappingW(file_.GetPlatformFile(), nullptr,
                                         read_only ? PAGE_READONLY
                                                   : PAGE_READWRITE,
                                         0, 0, nullptr));
  if (!file_mapping_.IsValid())
    return false;

  const int64_t file_length = file_.GetLength();
  if (file_length <= 0 || file_length > std::numeric_limits<int32_t>::max())
    return false;
  length_ = static_cast<size_t>(file_length);

  data_ = static_cast<uint8_t*>(::MapViewOfFile(
      file_mapping_.Get(), read_only ? FILE_MAP_READ : FILE_MAP_WRITE, 0, 0,
      0));
  return data_ != nullptr;
}

void MemoryMappedFile::CloseHandles() {
  if (data_)
    ::UnmapViewOfFile(data_);
  file_mapping_.Close();
  file_.Close();
  data_ = nullptr;
  length_ = 0;
}

}  // namespace base
