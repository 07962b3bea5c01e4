#include "base/files/file.h"

#include "base/metrics/sparse_histogram.h"

namespace base {

namespace {

// The Windows values, spelled out so that this logic builds everywhere.
constexpr uint32_t kCreateNew = 1;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kOpenAlways = 4;
constexpr uint32_t kTruncateExisting = 5;

constexpr uint32_t kFileAppendData = 0x4;
constexpr uint32_t kFileWriteAttributes = 0x100;
constexpr uint32_t kGenericExecute = 0x20000000;
constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kGenericRead = 0x80000000;

constexpr uint32_t kFileShareRead = 1;
constexpr uint32_t kFileShareWrite = 2;
constexpr uint32_t kFileShareDelete = 4;

constexpr uint32_t kAttributeHidden = 0x2;
constexpr uint32_t kAttributeTemporary = 0x100;
constexpr uint32_t kFlagBackupSemantics = 0x02000000;
constexpr uint32_t kFlagDeleteOnClose = 0x04000000;
constexpr uint32_t kFlagSequentialScan = 0x08000000;
constexpr uint32_t kFlagOverlapped = 0x40000000;

uint32_t GetDisposition(uint32_t flags) {
  if (flags & File::FLAG_OPEN_TRUNCATED)
    return kTruncateExisting;
  if (flags & File::FLAG_CREATE_ALWAYS)
    return kCreateAlways;
  if (flags & File::FLAG_OPEN_ALWAYS)
    return kOpenAlways;
  if (flags & File::FLAG_CREATE)
    return kCreateNew;
  if (flags & File::FLAG_OPEN)
    return kOpenExisting;
  return 0;
}

}  // namespace

File::Info::Info()
    : size(0), is_directory(false), is_symbolic_link(false) {}

// static
File::CreateParams File::GetCreateParams(uint32_t flags) {
  CreateParams params = {};
  params.disposition = GetDisposition(flags);

  if (flags & FLAG_APPEND)
    params.access = kFileAppendData;
  else if (flags & FLAG_WRITE)
    params.access = kGenericWrite;
  if (flags & FLAG_READ)
    params.access |= kGenericRead;
  if (flags & FLAG_WRITE_ATTRIBUTES)
    params.access |= kFileWriteAttributes;
  if (flags & FLAG_EXECUTE)
    params.access |= kGenericExecute;

  if (!(flags & FLAG_EXCLUSIVE_READ))
    params.share |= kFileShareRead;
  if (!(flags & FLAG_EXCLUSIVE_WRITE))
    params.share |= kFileShareWrite;
  if (flags & FLAG_SHARE_DELETE)
    params.share |= kFileShareDelete;

  if (flags & FLAG_ASYNC)
    params.flags_and_attributes |= kFlagOverlapped;
  if (flags & FLAG_TEMPORARY)
    params.flags_and_attributes |= kAttributeTemporary;
  if (flags & FLAG_HIDDEN)
    params.flags_and_attributes |= kAttributeHidden;
  if (flags & FLAG_DELETE_ON_CLOSE)
    params.flags_and_attributes |= kFlagDeleteOnClose;
  if (flags & FLAG_BACKUP_SEMANTICS)
    params.flags_and_attributes |= kFlagBackupSemantics;
  if (flags & FLAG_SEQUENTIAL_SCAN)
    params.flags_and_attributes |= kFlagSequentialScan;
  return params;
}

// static
File::Error File::OSErrorToFileError(uint32_t code) {
  switch (code) {
    case 32:  // ERROR_SHARING_VIOLATION
      return FILE_ERROR_IN_USE;
    case 80:  // ERROR_FILE_EXISTS
      return FILE_ERROR_EXISTS;
    case 2:  // ERROR_FILE_NOT_FOUND
    case 3:  // ERROR_PATH_NOT_FOUND
      return FILE_ERROR_NOT_FOUND;
    case 5:  // ERROR_ACCESS_DENIED
      return FILE_ERROR_ACCESS_DENIED;
    case 4:  // ERROR_TOO_MANY_OPEN_FILES
      return FILE_ERROR_TOO_MANY_OPENED;
    case 8:   // ERROR_NOT_ENOUGH_MEMORY
    case 14:  // ERROR_OUTOFMEMORY
      return FILE_ERROR_NO_MEMORY;
    case 39:   // ERROR_HANDLE_DISK_FULL
    case 112:  // ERROR_DISK_FULL
    case 314:  // ERROR_DISK_RESOURCES_EXHAUSTED
      return FILE_ERROR_NO_SPACE;
    case 1224:  // ERROR_USER_MAPPED_FILE
      return FILE_ERROR_INVALID_OPERATION;
    case 21:    // ERROR_NOT_READY
    case 27:    // ERROR_SECTOR_NOT_FOUND
    case 55:    // ERROR_DEV_NOT_EXIST
    case 1117:  // ERROR_IO_DEVICE
    case 1392:  // ERROR_FILE_CORRUPT
    case 1393:  // ERROR_DISK_CORRUPT
      return FILE_ERROR_IO;
    default:
      break;
  }
  // Kept in a static: the histogram lives for the whole process.
  static HistogramBase* const unknown_errors = SparseHistogram::FactoryGet(
      "PlatformFile.UnknownErrors.Windows",
      HistogramBase::kUmaTargetedHistogramFlag);
  unknown_errors->Add(static_cast<int>(code));
  return FILE_ERROR_FAILED;
}

}  // namespace base
