#ifndef BASE_FILES_FILE_H_
#define BASE_FILES_FILE_H_

#include <stdint.h>

#include "base/files/file_path.h"
#include "base/time/time.h"

#if defined(_WIN32)
#include "base/win/scoped_handle.h"
#endif

namespace base {

// One open file, owned. Opening reports through error_details(); every
// other operation reports through its result and leaves the Windows last
// error as the failing call set it. Nothing here logs.
class File {
 public:
  enum Flags : uint32_t {
    FLAG_OPEN = 1 << 0,
    FLAG_CREATE = 1 << 1,
    FLAG_OPEN_ALWAYS = 1 << 2,
    FLAG_CREATE_ALWAYS = 1 << 3,
    FLAG_OPEN_TRUNCATED = 1 << 4,
    FLAG_READ = 1 << 5,
    FLAG_WRITE = 1 << 6,
    FLAG_APPEND = 1 << 7,
    FLAG_EXCLUSIVE_READ = 1 << 8,
    FLAG_EXCLUSIVE_WRITE = 1 << 9,
    FLAG_ASYNC = 1 << 10,
    FLAG_TEMPORARY = 1 << 11,
    FLAG_HIDDEN = 1 << 12,
    FLAG_DELETE_ON_CLOSE = 1 << 13,
    FLAG_WRITE_ATTRIBUTES = 1 << 14,
    FLAG_SHARE_DELETE = 1 << 15,
    // 1 << 16 is unused.
    FLAG_BACKUP_SEMANTICS = 1 << 17,
    FLAG_EXECUTE = 1 << 18,
    FLAG_SEQUENTIAL_SCAN = 1 << 19,
  };

  // -11 to -15 are reserved and never produced.
  enum Error : int32_t {
    FILE_OK = 0,
    FILE_ERROR_FAILED = -1,
    FILE_ERROR_IN_USE = -2,
    FILE_ERROR_EXISTS = -3,
    FILE_ERROR_NOT_FOUND = -4,
    FILE_ERROR_ACCESS_DENIED = -5,
    FILE_ERROR_TOO_MANY_OPENED = -6,
    FILE_ERROR_NO_MEMORY = -7,
    FILE_ERROR_NO_SPACE = -8,
    FILE_ERROR_NOT_A_DIRECTORY = -9,
    FILE_ERROR_INVALID_OPERATION = -10,
    FILE_ERROR_IO = -16,
  };

  // The move methods of SetFilePointerEx.
  enum Whence {
    FROM_BEGIN = 0,
    FROM_CURRENT = 1,
    FROM_END = 2,
  };

  struct Info {
    Info();

    int64_t size;
    bool is_directory;
    bool is_symbolic_link;  // Always false on this platform.
    Time last_modified;
    Time last_accessed;
    Time creation_time;
  };

  // What CreateFileW is asked for, worked out from File flags.
  struct CreateParams {
    uint32_t disposition;  // 0 when no open or create flag was given.
    uint32_t access;
    uint32_t share;
    uint32_t flags_and_attributes;
  };
  static CreateParams GetCreateParams(uint32_t flags);

  // Folds a Windows error code into the small enumeration. Codes without a
  // place of their own are counted in a histogram first.
  static Error OSErrorToFileError(uint32_t code);

#if defined(_WIN32)
  File();
  File(const FilePath& path, uint32_t flags);
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Refuses a path that climbs to a parent folder with
  // FILE_ERROR_ACCESS_DENIED, touching nothing.
  void Initialize(const FilePath& path, uint32_t flags);

  bool IsValid() const { return file_.IsValid(); }
  HANDLE GetPlatformFile() const { return file_.Get(); }
  Error error_details() const { return error_details_; }
  bool created() const { return created_; }
  bool async() const { return async_; }

  void Close();

  // The new position, or -1.
  int64_t Seek(Whence whence, int64_t offset);
  // Bytes read, 0 at the end of the file, -1 on failure.
  int ReadAtCurrentPos(char* data, int size);
  // Writes at |offset| without relying on the current position. Bytes
  // written, or -1.
  int Write(int64_t offset, const char* data, int size);
  // The size, or -1.
  int64_t GetLength();
  // Cuts or extends (with zeros) the file; the position is kept.
  bool SetLength(int64_t length);
  bool GetInfo(Info* info);
  bool Flush();

 private:
  void DoInitialize(const FilePath& path, uint32_t flags);

  win::ScopedHandle file_;
  Error error_details_;
  bool created_;
  bool async_;
#endif
};

}  // namespace base

#endif  // BASE_FILES_FILE_H_
