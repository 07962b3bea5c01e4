#include "base/json/json_file_value_serializer.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/json/json_string_value_serializer.h"
#include "base/strings/string16.h"
#include "base/values.h"

namespace base {

std::unique_ptr<Value> JSONFileValueDeserializer::Deserialize(
    int* error_code,
    std::string* error_str) {
  std::string json_string;
  // A read refused before reaching the system leaves the last error alone;
  // start from a clean one so that a stale code cannot name the failure.
  ::SetLastError(ERROR_SUCCESS);
  if (!ReadFileToString(json_file_path_, &json_string)) {
    const DWORD system_error = ::GetLastError();
    const bool file_exists =
        ::GetFileAttributesW(as_wcstr(json_file_path_.value())) !=
        INVALID_FILE_ATTRIBUTES;
    const JsonFileError error =
        FileErrorFromSystemError(system_error, file_exists);
    if (error_code)
      *error_code = error;
    if (error_str)
      *error_str = GetErrorMessageForCode(error);
    return nullptr;
  }

  last_read_size_ = json_string.size();
  JSONStringValueDeserializer deserializer(json_string);
  return deserializer.Deserialize(error_code, error_str);
}

}  // namespace base
