#ifndef BASE_JSON_JSON_READER_H_
#define BASE_JSON_JSON_READER_H_

#include <memory>
#include <string>

#include "base/strings/string_piece.h"

namespace base {

class Value;

// Reads one JSON text (UTF-8) into a tree of values. Beyond strict JSON it
// accepts comments of both kinds, \x and \v escapes and raw control
// characters inside strings; it nests at most kMaxDepth containers and
// refuses trailing commas and texts of 2^31 bytes or more.
class JSONReader {
 public:
  // Deepest nesting of dictionaries and lists that reads; the writer
  // refuses deeper trees, so whatever it writes reads back.
  static constexpr int kMaxDepth = 99;

  enum JSONParseError {
    JSON_NO_ERROR = 0,
    JSON_INVALID_ESCAPE = 1,
    JSON_SYNTAX_ERROR = 2,
    JSON_UNEXPECTED_TOKEN = 3,
    JSON_TRAILING_COMMA = 4,
    JSON_TOO_MUCH_NESTING = 5,
    JSON_UNEXPECTED_DATA_AFTER_ROOT = 6,
    JSON_UNSUPPORTED_ENCODING = 7,
    JSON_UNQUOTED_DICTIONARY_KEY = 8,
  };

  // Null on any failure.
  static std::unique_ptr<Value> Read(StringPiece json);

  // On failure, fills whichever of the out-pointers is given with the error
  // code and "Line: L, column: C, <text>"; on success leaves them alone.
  static std::unique_ptr<Value> ReadAndReturnError(StringPiece json,
                                                   int* error_code_out,
                                                   std::string* error_msg_out);

  // The text of an error code; "" for none and for unknown codes.
  static std::string ErrorCodeToString(int error_code);
};

}  // namespace base

#endif  // BASE_JSON_JSON_READER_H_
