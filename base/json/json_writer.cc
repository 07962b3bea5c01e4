#include "base/json/json_writer.h"

#include <charconv>

#include "base/json/string_escape.h"
#include "base/strings/double_conversions.h"
#include "base/values.h"

namespace base {

namespace {

const size_t kReserveSize = 1024;

}  // namespace

// static
bool JSONWriter::Write(const Value& node, std::string* json) {
  json->clear();
  json->reserve(kReserveSize);
  JSONWriter writer(json);
  return writer.BuildJSONString(node);
}

bool JSONWriter::BuildJSONString(const Value& node) {
  switch (node.GetType()) {
    case Value::TYPE_NULL:
      json_string_->append("null");
      return true;

    case Value::TYPE_BOOLEAN: {
      bool value;
      if (!node.GetAsBoolean(&value))
        return false;
      json_string_->append(value ? "true" : "false");
      return true;
    }

    case Value::TYPE_INTEGER: {
      int value;
      if (!node.GetAsInteger(&value))
        return false;
      char digits[16];
      const std::to_chars_result result =
          std::to_chars(digits, digits + sizeof(digits), value);
      json_string_->append(digits, result.ptr);
      return true;
    }

    case Value::TYPE_DOUBLE:
      return AppendDouble(node);

    case Value::TYPE_STRING: {
      // A plain string value is escaped where it lies; other string kinds
      // hand out a copy.
      const StringValue* string_value = nullptr;
      if (node.GetAsString(&string_value)) {
        EscapeJSONString(string_value->GetString(), json_string_);
        return true;
      }
      std::string value;
      if (!node.GetAsString(&value))
        return false;
      EscapeJSONString(value, json_string_);
      return true;
    }

    case Value::TYPE_DICTIONARY: {
      const DictionaryValue* dictionary = nullptr;
      if (!node.GetAsDictionary(&dictionary))
        return false;
      json_string_->push_back('{');
      bool result = true;
      bool first = true;
      for (DictionaryValueIterator it(*dictionary); !it.IsAtEnd();
           it.Advance()) {
        if (!first)
          json_string_->push_back(',');
        first = false;
        EscapeJSONString(it.key(), json_string_);
        json_string_->push_back(':');
        result = BuildJSONString(it.value()) && result;
      }
      json_string_->push_back('}');
      return result;
    }

    case Value::TYPE_LIST: {
      const ListValue* list = nullptr;
      if (!node.GetAsList(&list))
        return false;
      json_string_->push_back('[');
      bool result = true;
      bool first = true;
      for (const auto& element : *list) {
        if (!first)
          json_string_->push_back(',');
        first = false;
        result = BuildJSONString(*element) && result;
      }
      json_string_->push_back(']');
      return result;
    }

    default:
      return false;
  }
}

bool JSONWriter::AppendDouble(const Value& node) {
  double value;
  if (!node.GetAsDouble(&value))
    return false;
  char buffer[kGFmtBufferSize];
  const char* text = g_fmt(buffer, value);
  // Keep doubles recognisable as doubles, and valid JSON: 3 -> 3.0,
  // .5 -> 0.5, -.5 -> -0.5. The text is put together in place.
  size_t length = 0;
  bool integral = true;
  for (; text[length]; ++length) {
    if (text[length] == '.' || text[length] == 'e' || text[length] == 'E')
      integral = false;
  }
  const size_t sign = text[0] == '-' ? 1 : 0;
  if (text[sign] == '.') {
    json_string_->append(text, sign);
    json_string_->push_back('0');
    json_string_->append(text + sign, length - sign);
  } else {
    json_string_->append(text, length);
    if (integral)
      json_string_->append(".0", 2);
  }
  return true;
}

}  // namespace base
