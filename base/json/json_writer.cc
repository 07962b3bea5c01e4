#include "base/json/json_writer.h"

#include <charconv>

#include "base/json/json_reader.h"
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
      // A deeper tree would not read back.
      if (!node.GetAsDictionary(&dictionary) ||
          depth_ == JSONReader::kMaxDepth)
        return false;
      ++depth_;
      output_.Append('{');
      // Each value is an allocation of its own, wherever the heap put it:
      // asking for them all first lets their loads overlap rather than
      // wait one by one behind the writing.
      for (DictionaryValueIterator it(*dictionary); !it.IsAtEnd(); it.Advance())
        __builtin_prefetch(&it.value());
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
      --depth_;
      return result;
    }

    case Value::TYPE_LIST: {
      const ListValue* list = nullptr;
      if (!node.GetAsList(&list) || depth_ == JSONReader::kMaxDepth)
        return false;
      ++depth_;
      output_.Append('[');
      bool result = true;
      bool first = true;
      // The same for elements, a few ahead.
      const size_t kPrefetchDistance = 4;
      const ListValue::const_iterator end = list->end();
      for (ListValue::const_iterator it = list->begin(); it != end; ++it) {
        if (static_cast<size_t>(end - it) > kPrefetchDistance)
          __builtin_prefetch(it[kPrefetchDistance].get());
        if (!first)
          output_.Append(',');
        first = false;
        result = BuildJSONString(**it) && result;
      }
      output_.Append(']');
      --depth_;
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
  // Formatted straight into the output, in the form that reads back as a
  // double, in one pass.
  char* const text = output_.Reserve(kGFmtBufferSize + 2);
  output_.Advance(static_cast<size_t>(
      internal::FormatDouble(value, true, text) - text));
  return true;
}

}  // namespace base
