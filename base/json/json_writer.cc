#include "base/json/json_writer.h"

#include <string.h>

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
      output_.Append("null", 4);
      return true;

    case Value::TYPE_BOOLEAN: {
      bool value;
      if (!node.GetAsBoolean(&value))
        return false;
      if (value)
        output_.Append("true", 4);
      else
        output_.Append("false", 5);
      return true;
    }

    case Value::TYPE_INTEGER: {
      int value;
      if (!node.GetAsInteger(&value))
        return false;
      // "-2147483648" at the longest.
      const size_t kMaxLength = 11;
      char* digits = output_.Reserve(kMaxLength);
      const std::to_chars_result result =
          std::to_chars(digits, digits + kMaxLength, value);
      output_.Advance(static_cast<size_t>(result.ptr - digits));
      return true;
    }

    case Value::TYPE_DOUBLE:
      return AppendDouble(node);

    case Value::TYPE_STRING: {
      // A plain string value is escaped where it lies; other string kinds
      // hand out a copy.
      const StringValue* string_value = nullptr;
      if (node.GetAsString(&string_value)) {
        internal::EscapeJSONStringTo(string_value->GetString(), &output_);
        return true;
      }
      std::string value;
      if (!node.GetAsString(&value))
        return false;
      internal::EscapeJSONStringTo(value, &output_);
      return true;
    }

    case Value::TYPE_DICTIONARY: {
      const DictionaryValue* dictionary = nullptr;
      if (!node.GetAsDictionary(&dictionary))
        return false;
      output_.Append('{');
      bool result = true;
      bool first = true;
      for (DictionaryValueIterator it(*dictionary); !it.IsAtEnd();
           it.Advance()) {
        if (!first)
          output_.Append(',');
        first = false;
        internal::EscapeJSONStringTo(it.key(), &output_);
        output_.Append(':');
        result = BuildJSONString(it.value()) && result;
      }
      output_.Append('}');
      return result;
    }

    case Value::TYPE_LIST: {
      const ListValue* list = nullptr;
      if (!node.GetAsList(&list))
        return false;
      output_.Append('[');
      bool result = true;
      bool first = true;
      for (const auto& element : *list) {
        if (!first)
          output_.Append(',');
        first = false;
        result = BuildJSONString(*element) && result;
      }
      output_.Append(']');
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
  // Room for a 0 in front and ".0" behind.
  char buffer[kGFmtBufferSize + 3];
  char* const text = buffer + 1;
  g_fmt(text, value);
  // Keep doubles recognisable as doubles, and valid JSON: 3 -> 3.0,
  // .5 -> 0.5, -.5 -> -0.5. The text is put together in place.
  size_t length = 0;
  bool integral = true;
  for (; text[length]; ++length) {
    if (text[length] == '.' || text[length] == 'e' || text[length] == 'E')
      integral = false;
  }
  const char* begin = text;
  size_t size = length;
  const bool sign = text[0] == '-';
  if (text[sign] == '.') {
    // The sign, if any, moves one to the left to make room for the 0.
    buffer[0] = sign ? '-' : '0';
    text[0] = sign ? '0' : '.';
    begin = buffer;
    ++size;
  } else if (integral) {
    memcpy(text + length, ".0", 2);
    size += 2;
  }
  output_.Append(begin, size);
  return true;
}

}  // namespace base
