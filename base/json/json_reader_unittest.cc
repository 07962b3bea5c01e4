#include "base/json/json_reader.h"

#include <limits.h>
#include <string.h>

#include <charconv>
#include <memory>
#include <string>
#include <vector>

#include "base/json/json_parser.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

struct ErrorCase {
  const char* what;
  std::string input;
  int code;
  int line;
  int column;
};

void ExpectError(const ErrorCase& c) {
  SCOPED_TRACE(c.what);
  internal::JSONParser parser;
  EXPECT_FALSE(parser.Parse(c.input));
  EXPECT_EQ(c.code, parser.error_code());
  EXPECT_EQ(c.line, parser.error_line());
  EXPECT_EQ(c.column, parser.error_column());
}

std::string ParseString(const std::string& json) {
  std::unique_ptr<Value> value = JSONReader::Read(json);
  std::string text = "<no string>";
  if (value)
    value->GetAsString(&text);
  return text;
}

TEST(JSONReaderTest, ScalarRoots) {
  std::unique_ptr<Value> value = JSONReader::Read("2147483647");
  int integer = 0;
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->GetAsInteger(&integer));
  EXPECT_EQ(INT_MAX, integer);

  double number = 0;
  value = JSONReader::Read("2147483648");
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->IsType(Value::TYPE_DOUBLE));
  EXPECT_TRUE(value->GetAsDouble(&number));
  EXPECT_EQ(2147483648.0, number);

  // Doubles are the nearest double to the text (an underflow gives 0), on
  // both sides of the limits of exact one-step conversion: 53-bit digits
  // and powers of ten up to 22.
  for (const char* as_double :
       {"1.0", "1e2", "-2.5E-3", "0.000", "-0.0", "1e-400", "0.1",
        "9007199254740992e-22", "9007429326721461e-9", "1e22", "6410e-23",
        "-3e-22", "123456.789e3", "4.9e-324", "1.7976931348623157e308",
        // Digit runs across the blocks in which they are read and past
        // the 20 digits that are gathered.
        "1234567890123456789", "12345678901234567890", "98765432109876543210987",
        "0.12345678901234567890123", "-7.0000000100000001e-5"}) {
    SCOPED_TRACE(as_double);
    value = JSONReader::Read(as_double);
    ASSERT_TRUE(value);
    EXPECT_TRUE(value->IsType(Value::TYPE_DOUBLE));
    double expected = 0;
    std::from_chars(as_double, as_double + strlen(as_double), expected);
    EXPECT_TRUE(value->GetAsDouble(&number));
    EXPECT_EQ(0, memcmp(&expected, &number, sizeof(number)));
  }
  value = JSONReader::Read("-0");
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->GetAsInteger(&integer));
  EXPECT_EQ(0, integer);

  value = JSONReader::Read("\xEF\xBB\xBF" "1");
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->GetAsInteger(&integer));
  EXPECT_EQ(1, integer);

  value = JSONReader::Read(" true /* c */ // d");
  bool flag = false;
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->GetAsBoolean(&flag));
  EXPECT_TRUE(flag);
  value = JSONReader::Read("null");
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->IsType(Value::TYPE_NULL));
  value = JSONReader::Read("[1, 2.5, false]/* open");
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->IsType(Value::TYPE_LIST));
}

TEST(JSONReaderTest, Containers) {
  std::unique_ptr<Value> root = JSONReader::Read(
      "{\"a\": {\"b\": [1, {\"c\": null}]}, \"x.y\": \"dots\", \"a\": {\"b\": []},"
      "\n \"k\" : \"v\" }");
  ASSERT_TRUE(root);
  const DictionaryValue* dict = nullptr;
  ASSERT_TRUE(root->GetAsDictionary(&dict));
  // A later duplicate replaces the earlier value; keys are never expanded.
  const ListValue* list = nullptr;
  ASSERT_TRUE(dict->GetList("a.b", &list));
  EXPECT_TRUE(list->empty());
  EXPECT_TRUE(dict->GetWithoutPathExpansion("x.y", static_cast<const Value**>(nullptr)));
  std::string text;
  EXPECT_TRUE(dict->GetString("k", &text));
  EXPECT_EQ("v", text);

  EXPECT_TRUE(JSONReader::Read("{}"));
  EXPECT_TRUE(JSONReader::Read("[]"));
  EXPECT_TRUE(JSONReader::Read("{}  "));
  EXPECT_TRUE(JSONReader::Read("{} // tail"));
}

TEST(JSONReaderTest, ErrorsAndPositions) {
  const ErrorCase cases[] = {
      {"empty", "", 3, 1, 1},
      {"spaces only", "   ", 3, 1, 1},
      {"letter after line breaks", "\n\n  a", 3, 3, 4},
      {"list trailing comma", "[1, 2,]", 4, 1, 7},
      {"dictionary trailing comma", "{\"a\": 1,}", 4, 1, 9},
      {"unquoted key", "{a: 1}", 8, 1, 2},
      {"missing colon", "{\"a\" 1}", 2, 1, 6},
      {"member without separator", "{\"a\": \"b\" \"c\"}", 2, 1, 10},
      {"element without separator", "[\"a\" \"b\"]", 2, 1, 6},
      {"data after root", "{} x", 6, 1, 4},
      {"literal then letter", "truex", 6, 1, 5},
      {"literal then letter in a list", "[truex]", 2, 1, 6},
      {"number then letter", "1 x", 2, 1, 3},
      {"leading zero", "01", 2, 1, 2},
      {"point without digits", "1.", 2, 1, 3},
      {"exponent without digits", "[1e+]", 2, 1, 5},
      {"lone minus", "-", 2, 1, 2},
      {"bad literal", "[nul]", 2, 1, 2},
      {"unterminated string", "\"abc", 2, 1, 4},
      {"lone quote", "\"", 2, 1, 1},
      {"slash without comment", "/x", 3, 1, 1},
      {"unexpected end in list", "[1,\n\n", 3, 1, 4},
      {"unterminated list", "[1", 2, 1, 3},
      {"colon as value", "[:]", 3, 1, 2},
      {"comma as first element", "[,1]", 3, 1, 2},
      {"CR LF counts once", "\r\n\r\n x", 3, 3, 3},
      // Beyond the range of a double: an error like any other.
      {"double overflow", "[1e400]", 2, 1, 2},
  };
  for (const ErrorCase& c : cases)
    ExpectError(c);

  int code = 0;
  std::string message;
  EXPECT_FALSE(JSONReader::ReadAndReturnError("\n\n  a", &code, &message));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, code);
  EXPECT_EQ("Line: 3, column: 4, Unexpected token.", message);

  code = 99;
  message = "untouched";
  EXPECT_TRUE(JSONReader::ReadAndReturnError("[]", &code, &message));
  EXPECT_EQ(99, code);
  EXPECT_EQ("untouched", message);
  EXPECT_FALSE(JSONReader::ReadAndReturnError("[", nullptr, nullptr));

  EXPECT_EQ("", JSONReader::ErrorCodeToString(0));
  EXPECT_EQ("Dictionary keys must be quoted.", JSONReader::ErrorCodeToString(8));
  EXPECT_EQ("", JSONReader::ErrorCodeToString(9));
  EXPECT_EQ("", JSONReader::ErrorCodeToString(-1));
}

TEST(JSONReaderTest, StringEscapes) {
  EXPECT_EQ("\xC3\xA9", ParseString("\"\\u00e9\""));
  EXPECT_EQ("\xF0\x9F\x98\x80", ParseString("\"\\ud83d\\ude00\""));
  EXPECT_EQ("A", ParseString("\"\\u0x41\""));
  EXPECT_EQ("\"\\/\b\f\n\r\t\v", ParseString("\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\v\""));
  EXPECT_EQ(std::string("a\0b", 3), ParseString("\"a\\x00b\""));
  // The writer escapes a NUL as \u0000, so it must read back as one.
  EXPECT_EQ(std::string("a\0b", 3), ParseString("\"a\\u0000b\""));
  EXPECT_EQ("\xC3\xBF", ParseString("\"\\xFF\""));
  EXPECT_EQ("a\tb\nc\x01", ParseString("\"a\tb\nc\x01\""));
  // Plain runs of every short length between escapes.
  std::string json = "\"", expected;
  for (int length = 0; length <= 20; ++length) {
    json += std::string(length, 'a' + length) + "\\n\\u00e9";
    expected += std::string(length, 'a' + length) + "\n\xC3\xA9";
  }
  EXPECT_EQ(expected, ParseString(json + "\""));

  const ErrorCase cases[] = {
      {"lone high surrogate", "\"\\ud83d\"", 1, 1, 8},
      {"high surrogate then letter", "\"\\ud83dx\"", 1, 1, 8},
      {"two high surrogates", "\"\\ud83d\\ud83d\"", 1, 1, 8},
      {"lone low surrogate", "\"\\ude00\"", 1, 1, 2},
      {"unknown escape letter", "\"\\q\"", 1, 1, 2},
      {"backslash at the end", "\"\\", 1, 1, 2},
      {"short u group", "\"\\u12", 1, 1, 2},
      {"short x group", "\"\\x1", 1, 1, 3},
      {"bad hex digit", "\"\\u12g4\"", 1, 1, 2},
      {"negative x escape", "\"\\x-1\"", 1, 1, 2},
      {"negative u escape", "\"\\u-001\"", 1, 1, 2},
      {"positive u escape", "\"\\u+001\"", 1, 1, 2},
      {"space in u escape", "\"\\u 001\"", 1, 1, 2},
  };
  for (const ErrorCase& c : cases)
    ExpectError(c);
}

TEST(JSONReaderTest, Encoding) {
  // Noncharacters are valid text (the writer writes them unescaped).
  for (const char* nonchar : {"\xEF\xB7\x90", "\xEF\xBF\xBE", "\xEF\xBF\xBF",
                              "\xF0\x9F\xBF\xBF", "\xF4\x8F\xBF\xBE"}) {
    EXPECT_EQ(nonchar, ParseString(std::string("\"") + nonchar + "\""));
  }
  EXPECT_EQ("\xEF\xB7\x90", ParseString("\"\\ufdd0\""));
  EXPECT_EQ("\xEF\xBF\xBF", ParseString("\"\\uffff\""));
  EXPECT_EQ("\xF4\x8F\xBF\xBF", ParseString("\"\\udbff\\udfff\""));

  const ErrorCase cases[] = {
      {"stray trail byte", "\"a\x80\"", 7, 1, 4},
      {"truncated sequence", "\"\xE2\x82\"", 7, 1, 4},
      {"overlong", "\"\xC0\x80\"", 7, 1, 4},
      {"encoded surrogate", "\"\xED\xA0\x80\"", 7, 1, 5},
      {"above U+10FFFF", "\"\xF4\x90\x80\x80\"", 7, 1, 6},
      {"in a key", "{\"\xFF\": 1}", 7, 1, 4},
  };
  for (const ErrorCase& c : cases)
    ExpectError(c);
}

TEST(JSONReaderTest, NestingIsBounded) {
  std::string lists = std::string(99, '[') + std::string(99, ']');
  EXPECT_TRUE(JSONReader::Read(lists));
  lists = std::string(100, '[') + std::string(100, ']');
  ExpectError({"100 lists", lists, 5, 1, 100});

  std::string mixed;
  for (int i = 0; i < 49; ++i)
    mixed += "{\"k\":[";
  mixed += "{}";
  for (int i = 0; i < 49; ++i)
    mixed += "]}";
  EXPECT_TRUE(JSONReader::Read(mixed));  // 99 containers
  ExpectError({"100 mixed", "[" + mixed + "]", 5, 1, 296});

  // Far deeper than any stack would survive if the depth were not checked
  // before descending.
  std::string hostile(1000000, '[');
  ExpectError({"a million lists", hostile, 5, 1, 100});
  hostile.assign(1000000, '{');
  ExpectError({"a million unquoted", hostile, 8, 1, 2});
  std::string keyed;
  for (int i = 0; i < 200000; ++i)
    keyed += "{\"\":";
  ExpectError({"a million keyed", keyed, 5, 1, 397});
}

TEST(JSONReaderTest, ValuesOutliveTheirParse) {
  std::unique_ptr<Value> taken;
  std::unique_ptr<DictionaryValue> other(new DictionaryValue);
  {
    std::string json = "{\"a\": {\"deep\": \"plain ascii\"}, \"b\": [\"x\"]}";
    std::unique_ptr<Value> root = JSONReader::Read(json);
    ASSERT_TRUE(root);
    DictionaryValue* dict = nullptr;
    ASSERT_TRUE(root->GetAsDictionary(&dict));
    Value* a = nullptr;
    ASSERT_TRUE(dict->Get("a", &a));
    DictionaryValue* a_dict = nullptr;
    ASSERT_TRUE(a->GetAsDictionary(&a_dict));
    EXPECT_TRUE(a_dict->RemoveWithoutPathExpansion("deep", &taken));
    dict->Swap(other.get());
    json.assign(json.size(), '#');  // the input is gone too
  }
  const StringValue* string_value = nullptr;
  ASSERT_TRUE(taken);
  EXPECT_TRUE(taken->GetAsString(&string_value));
  std::string text;
  EXPECT_TRUE(taken->GetAsString(&text));
  EXPECT_EQ("plain ascii", text);
  const ListValue* list = nullptr;
  ASSERT_TRUE(other->GetList("b", &list));
  EXPECT_TRUE((*list->begin())->Equals(StringValue(std::string("x")).CreateDeepCopy().get()));
}

TEST(JSONReaderTest, RefusesTextsOfTwoGigabytes) {
  // Refused on its length alone: not one byte past the buffer is read.
  const char small[] = "[1]";
  internal::JSONParser parser;
  EXPECT_FALSE(parser.Parse(StringPiece(small, static_cast<size_t>(INT_MAX) + 1)));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, parser.error_code());
  EXPECT_EQ("Syntax error.", parser.GetErrorMessage());
}

}  // namespace
}  // namespace base
