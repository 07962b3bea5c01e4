#include "base/json/json_writer.h"

#include "base/json/string_escape.h"
#include "base/strings/double_conversions.h"
#include "base/strings/string_number_conversions.h"
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
      json_string_->append(IntToString(value));
      return true;
    }

    case Value::TYPE_DOUBLE:
      return AppendDouble(node);

    case Value::TYPE_STRING: {
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
  std::string text = g_fmt(buffer, value);
  // Keep doubles recognisable as doubles, and valid JSON: 3 -> 3.0,
  // .5 -> 0.5, -.5 -> -0.5.
  if (text.find_first_of(".eE") == std::string::npos)
    text.append(".0");
  if (text[0] == '.')
    text.insert(0, 1, '0');
  else if (text[0] == '-' && text[1] == '.')
    text.insert(1, 1, '0');
  json_string_->append(text);
  return true;
}

}  // namespace base
