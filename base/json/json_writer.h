#ifndef BASE_JSON_JSON_WRITER_H_
#define BASE_JSON_JSON_WRITER_H_

#include <string>

#include "base/json/string_escape.h"

namespace base {

class Value;

// Prints a value tree as compact JSON: no spaces or line breaks, dictionary
// keys in byte order, doubles always with a point or an exponent.
class JSONWriter {
 public:
  // Replaces |json| with the text of |node|. False when the tree holds a
  // value that cannot be written or nests deeper than the reader accepts;
  // invalid UTF-8 in strings is written as U+FFFD and does not count as a
  // failure.
  static bool Write(const Value& node, std::string* json);

 private:
  explicit JSONWriter(std::string* json) : output_(json) {}
  JSONWriter(const JSONWriter&) = delete;
  JSONWriter& operator=(const JSONWriter&) = delete;

  bool BuildJSONString(const Value& node);
  bool AppendDouble(const Value& node);

  internal::JSONOutput output_;
  // Containers open around the value being written.
  int depth_ = 0;
};

}  // namespace base

#endif  // BASE_JSON_JSON_WRITER_H_
