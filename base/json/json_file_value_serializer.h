#ifndef BASE_JSON_JSON_FILE_VALUE_SERIALIZER_H_
#define BASE_JSON_JSON_FILE_VALUE_SERIALIZER_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/json/value_serializer.h"

namespace base {

// Reads one JSON value from a file. File errors get codes of their own,
// above the JSON reader's parse error codes.
class JSONFileValueDeserializer : public ValueDeserializer {
 public:
  enum JsonFileError {
    JSON_NO_ERROR = 0,
    JSON_ACCESS_DENIED = 1000,
    JSON_CANNOT_READ_FILE = 1001,
    JSON_FILE_LOCKED = 1002,
    JSON_NO_SUCH_FILE = 1003,
  };

  static const char kAccessDenied[];
  static const char kCannotReadFile[];
  static const char kFileLocked[];
  static const char kNoSuchFile[];

  explicit JSONFileValueDeserializer(const FilePath& json_file_path);
  ~JSONFileValueDeserializer() override;

  // Null on failure, with a file error code or the reader's parse error.
  std::unique_ptr<Value> Deserialize(int* error_code,
                                     std::string* error_str) override;

  // Bytes of the file last read; 0 until a read succeeds.
  size_t get_last_read_size() const { return last_read_size_; }

  // The text of a file error code; empty for any other code.
  static const char* GetErrorMessageForCode(int error_code);

  // The file error for a failed read, from the system's error code and
  // whether the file exists.
  static JsonFileError FileErrorFromSystemError(uint32_t system_error,
                                                bool file_exists);

 private:
  const FilePath json_file_path_;
  size_t last_read_size_ = 0;
};

}  // namespace base

#endif  // BASE_JSON_JSON_FILE_VALUE_SERIALIZER_H_
