#ifndef BASE_FILES_MEMORY_MAPPED_FILE_H_
#define BASE_FILES_MEMORY_MAPPED_FILE_H_

#include <stddef.h>
#include <stdint.h>

#include "base/files/file.h"
#include "base/files/file_path.h"

#if defined(_WIN32)
#include "base/win/scoped_handle.h"

namespace base {

// A whole file mapped into memory. Empty or mapped; a failed Initialize
// leaves it empty.
class MemoryMappedFile {
 public:
  enum Access {
    READ_ONLY = 0,
    READ_WRITE = 1,
  };

  MemoryMappedFile();
  MemoryMappedFile(const MemoryMappedFile&) = delete;
  MemoryMappedFile& operator=(const MemoryMappedFile&) = delete;
  ~MemoryMappedFile();

  // Maps the file at |path|: 1 byte to 2 GiB - 1. False when something is
  // mapped already (that mapping stays).
  bool Initialize(const FilePath& path, Access access);

  const uint8_t* data() const { return data_; }
  uint8_t* data() { return data_; }
  size_t length() const { return length_; }
  bool IsValid() const { return data_ != nullptr; }

 private:
  bool MapFileToMemory(Access access);
  void CloseHandles();

  File file_;
  uint8_t* data_;
  size_t length_;
  win::ScopedHandle file_mapping_;
};

}  // namespace base

#endif  // defined(_WIN32)

#endif  // BASE_FILES_MEMORY_MAPPED_FILE_H_
