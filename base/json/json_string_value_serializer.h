#ifndef BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_
#define BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_

#include <memory>
#include <string>

#include "base/json/value_serializer.h"
#include "base/strings/string_piece.h"

namespace base {

// Writes compact JSON into a caller's string.
class JSONStringValueSerializer : public ValueSerializer {
 public:
  // |json_string| is borrowed; a null one makes every Serialize fail.
  explicit JSONStringValueSerializer(std::string* json_string);
  ~JSONStringValueSerializer() override;

  bool Serialize(const Value& root) override;

 private:
  std::string* json_string_;
};

// Reads JSON from a caller's text, with the errors of JSONReader.
class JSONStringValueDeserializer : public ValueDeserializer {
 public:
  // |json_string| must outlive the deserializer.
  explicit JSONStringValueDeserializer(StringPiece json_string);
  ~JSONStringValueDeserializer() override;

  std::unique_ptr<Value> Deserialize(int* error_code,
                                     std::string* error_str) override;

 private:
  StringPiece json_string_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_
