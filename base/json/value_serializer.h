#ifndef BASE_JSON_VALUE_SERIALIZER_H_
#define BASE_JSON_VALUE_SERIALIZER_H_

#include <memory>
#include <string>

namespace base {

class Value;

// Writes one value somewhere.
class ValueSerializer {
 public:
  virtual ~ValueSerializer() {}
  virtual bool Serialize(const Value& root) = 0;
};

// Reads one value from somewhere. On failure returns null and, when the
// out-pointers are given, an error code and message.
class ValueDeserializer {
 public:
  virtual ~ValueDeserializer() {}
  virtual std::unique_ptr<Value> Deserialize(int* error_code,
                                             std::string* error_str) = 0;
};

}  // namespace base

#endif  // BASE_JSON_VALUE_SERIALIZER_H_
