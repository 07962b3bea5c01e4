#include "base/json/json_file_value_serializer.h"

namespace base {

namespace {

// The Windows error codes a failed read is told apart by.
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorLockViolation = 33;

}  // namespace

const char JSONFileValueDeserializer::kAccessDenied[] = "Access denied.";
const char JSONFileValueDeserializer::kCannotReadFile[] = "Can't read file.";
const char JSONFileValueDeserializer::kFileLocked[] = "File locked.";
const char JSONFileValueDeserializer::kNoSuchFile[] = "File doesn't exist.";

JSONFileValueDeserializer::JSONFileValueDeserializer(
    const FilePath& json_file_path)
    : json_file_path_(json_file_path) {}

JSONFileValueDeserializer::~JSONFileValueDeserializer() {}

// static
const char* JSONFileValueDeserializer::GetErrorMessageForCode(int error_code) {
  switch (error_code) {
    case JSON_ACCESS_DENIED:
      return kAccessDenied;
    case JSON_CANNOT_READ_FILE:
      return kCannotReadFile;
    case JSON_FILE_LOCKED:
      return kFileLocked;
    case JSON_NO_SUCH_FILE:
      return kNoSuchFile;
    default:
      return "";
  }
}

// static
JSONFileValueDeserializer::JsonFileError
JSONFileValueDeserializer::FileErrorFromSystemError(uint32_t system_error,
                                                    bool file_exists) {
  switch (system_error) {
    case kErrorSharingViolation:
    case kErrorLockViolation:
      return JSON_FILE_LOCKED;
    case kErrorAccessDenied:
      return JSON_ACCESS_DENIED;
    default:
      return file_exists ? JSON_CANNOT_READ_FILE : JSON_NO_SUCH_FILE;
  }
}

}  // namespace base
