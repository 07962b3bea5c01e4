#include "base/json/json_writer.h"

#include <limits.h>

#include <limits>
#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/json/json_string_value_serializer.h"
#include "base/json/string_escape.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string Write(const Value& value) {
  std::string json = "stale";
  EXPECT_TRUE(JSONWriter::Write(value, &json));
  return json;
}

std::string WriteDouble(double value) {
  return Write(FundamentalValue(value));
}

TEST(JSONWriterTest, CompactInKeyOrder) {
  DictionaryValue dict;
  dict.SetInteger("b", 1);
  dict.SetString("a", "x");
  EXPECT_EQ("{\"a\":\"x\",\"b\":1}", Write(dict));

  ListValue list;
  list.Append(Value::CreateNullValue());
  list.AppendBoolean(true);
  list.AppendBoolean(false);
  list.AppendInteger(-2147483647 - 1);
  list.Append(std::unique_ptr<Value>(new DictionaryValue));
  list.Append(std::unique_ptr<Value>(new ListValue));
  EXPECT_EQ("[null,true,false,-2147483648,{},[]]", Write(list));

  DictionaryValue nested;
  nested.SetInteger("z.y", 1);
  nested.SetWithoutPathExpansion("B", std::unique_ptr<Value>(new ListValue));
  EXPECT_EQ("{\"B\":[],\"z\":{\"y\":1}}", Write(nested));
}

TEST(JSONWriterTest, DoublesStayDoubles) {
  EXPECT_EQ("2.0", WriteDouble(2.0));
  EXPECT_EQ("100.0", WriteDouble(100.0));
  EXPECT_EQ("0.1", WriteDouble(0.1));
  EXPECT_EQ("-0.5", WriteDouble(-0.5));
  EXPECT_EQ("0.0", WriteDouble(0.0));
  EXPECT_EQ("-0.0", WriteDouble(-0.0));
  EXPECT_EQ("1e+100", WriteDouble(1e100));
  EXPECT_EQ("1e-07", WriteDouble(1e-7));
  EXPECT_EQ("2147483648.0", WriteDouble(2147483648.0));
  EXPECT_EQ("0.0", WriteDouble(std::numeric_limits<double>::infinity()));

  // Each reads back as the same double.
  for (double d : {0.1, -0.25, 1e21, 5e-324, 1.7976931348623157e308,
                   123456.789, -1e-300}) {
    std::unique_ptr<Value> back = JSONReader::Read(WriteDouble(d));
    double read = 0;
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->IsType(Value::TYPE_DOUBLE));
    EXPECT_TRUE(back->GetAsDouble(&read));
    EXPECT_EQ(d, read);
  }
}

TEST(JSONWriterTest, StringEscaping) {
  std::string out;
  EXPECT_TRUE(EscapeJSONString("<a/b>\x01\x0B\x1F\x7F\"\\\b\f\n\r\t", &out));
  EXPECT_EQ("\"\\u003Ca/b>\\u0001\\u000B\\u001F\x7F\\\"\\\\\\b\\f\\n\\r\\t\"",
            out);

  out.clear();
  EXPECT_TRUE(EscapeJSONString("\xE2\x80\xA8\xE2\x80\xA9\xC3\xA9\xEF\xBF\xBF",
                               &out));
  EXPECT_EQ("\"\\u2028\\u2029\xC3\xA9\xEF\xBF\xBF\"", out);

  out = "kept";
  EXPECT_FALSE(EscapeJSONString("a\xFF" "b\xED\xA0\x80", &out));
  EXPECT_EQ("kept\"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\"", out);

  out.clear();
  EXPECT_TRUE(EscapeJSONString(std::string("\0", 1), &out));
  EXPECT_EQ("\"\\u0000\"", out);

  // Bad UTF-8 does not fail the write, only gets replaced.
  DictionaryValue dict;
  dict.SetStringWithoutPathExpansion("k\xFF", "v\xFF");
  EXPECT_EQ("{\"k\xEF\xBF\xBD\":\"v\xEF\xBF\xBD\"}", Write(dict));
}

TEST(JSONWriterTest, StringSerializers) {
  JSONStringValueSerializer nowhere(nullptr);
  EXPECT_FALSE(nowhere.Serialize(DictionaryValue()));

  std::string json;
  JSONStringValueSerializer serializer(&json);
  DictionaryValue dict;
  dict.SetString("a.b", "c");
  EXPECT_TRUE(serializer.Serialize(dict));
  EXPECT_EQ("{\"a\":{\"b\":\"c\"}}", json);

  JSONStringValueDeserializer deserializer(json);
  std::unique_ptr<Value> back = deserializer.Deserialize(nullptr, nullptr);
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->Equals(&dict));

  int code = 0;
  std::string message;
  JSONStringValueDeserializer broken("[1,]");
  EXPECT_FALSE(broken.Deserialize(&code, &message));
  EXPECT_EQ(JSONReader::JSON_TRAILING_COMMA, code);
  EXPECT_EQ("Line: 1, column: 4, Trailing comma not allowed.", message);
}

TEST(JSONWriterTest, WrittenTextReadsBackEqual) {
  DictionaryValue dict;
  const char kText[] =
      "nul\0 tab\t quote\" <tag> \xEF\xB7\x90 \xF0\x9F\x98\x80 \xE2\x80\xA8";
  // Long enough that both sides pass more than one block of text.
  std::string text;
  for (int i = 0; i < 40; ++i)
    text.append(kText, sizeof(kText) - 1);
  dict.SetString("text", text);
  dict.SetInteger("n", -7);
  dict.SetDoubleWithoutPathExpansion("d", 1.5e-10);
  ListValue* list = new ListValue;
  list->AppendString("\x7F\x1B");
  list->Append(std::unique_ptr<Value>(new DictionaryValue));
  dict.Set("nested.list", list);

  std::string json = Write(dict);
  std::unique_ptr<Value> back = JSONReader::Read(json);
  ASSERT_TRUE(back) << json;
  EXPECT_TRUE(back->Equals(&dict)) << json;
  EXPECT_EQ(json, Write(*back));

  // Lists and dictionaries nested as deep as the reader goes, and one
  // level deeper: the innermost one is refused.
  for (int innermost_is_list = 0; innermost_is_list < 2; ++innermost_is_list) {
    std::unique_ptr<Value> deep;
    for (int depth = 1; depth <= JSONReader::kMaxDepth + 1; ++depth) {
      if ((depth + innermost_is_list) % 2) {
        DictionaryValue* dictionary = new DictionaryValue;
        if (deep)
          dictionary->SetWithoutPathExpansion("k", std::move(deep));
        deep.reset(dictionary);
      } else {
        ListValue* list = new ListValue;
        if (deep)
          list->Append(std::move(deep));
        deep.reset(list);
      }
      std::string json;
      const bool written = JSONWriter::Write(*deep, &json);
      EXPECT_EQ(depth <= JSONReader::kMaxDepth, written) << depth;
      if (written)
        EXPECT_TRUE(JSONReader::Read(json)) << depth;
    }
  }

  // The depth goes back down after each one: siblings nest no deeper.
  DictionaryValue of_lists;
  ListValue of_dictionaries;
  for (int i = 0; i < 300; ++i) {
    of_lists.SetWithoutPathExpansion("k" + std::to_string(i),
                                     std::unique_ptr<Value>(new ListValue));
    of_dictionaries.Append(std::unique_ptr<Value>(new DictionaryValue));
  }
  std::string siblings;
  EXPECT_TRUE(JSONWriter::Write(of_lists, &siblings));
  EXPECT_TRUE(JSONWriter::Write(of_dictionaries, &siblings));
}

TEST(JSONWriterDeathTest, TwoGigabyteStringsAreRefused) {
  // Checked on the length alone, before a byte is read.
  const char small[] = "x";
  std::string out;
  EXPECT_DEATH(EscapeJSONString(
                   StringPiece(small, static_cast<size_t>(INT_MAX) + 1), &out),
               "string_escape.cc.*Check failed: str.size\\(\\) <= "
               "static_cast<size_t>\\(INT_MAX\\)");
}

}  // namespace
}  // namespace base
