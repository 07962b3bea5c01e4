#include "base/json/json_string_value_serializer.h"

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/values.h"

namespace base {

JSONStringValueSerializer::JSONStringValueSerializer(std::string* json_string)
    : json_string_(json_string) {}

JSONStringValueSerializer::~JSONStringValueSerializer() {}

bool JSONStringValueSerializer::Serialize(const Value& root) {
  if (!json_string_)
    return false;
  return JSONWriter::Write(root, json_string_);
}

JSONStringValueDeserializer::JSONStringValueDeserializer(
    StringPiece json_string)
    : json_string_(json_string) {}

JSONStringValueDeserializer::~JSONStringValueDeserializer() {}

std::unique_ptr<Value> JSONStringValueDeserializer::Deserialize(
    int* error_code,
    std::string* error_str) {
  return JSONReader::ReadAndReturnError(json_string_, error_code, error_str);
}

}  // namespace base
