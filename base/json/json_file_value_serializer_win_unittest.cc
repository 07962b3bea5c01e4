#include "base/json/json_file_value_serializer.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/json/json_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

void WriteText(const FilePath& path, const std::string& text) {
  ASSERT_EQ(static_cast<int>(text.size()),
            WriteFile(path, text.data(), static_cast<int>(text.size())));
}

TEST(JSONFileValueDeserializerTest, ReadsValueAndRemembersSize) {
  TestFolder folder;
  const FilePath path = folder.path().AppendASCII("data.json");
  WriteText(path, "{\"a\": [1, 2], \"b\": \"x\"}");

  JSONFileValueDeserializer deserializer(path);
  EXPECT_EQ(0u, deserializer.get_last_read_size());
  int code = -1;
  std::string message = "unchanged";
  std::unique_ptr<Value> value = deserializer.Deserialize(&code, &message);
  ASSERT_TRUE(value);
  const DictionaryValue* dictionary = nullptr;
  ASSERT_TRUE(value->GetAsDictionary(&dictionary));
  std::string b;
  EXPECT_TRUE(dictionary->GetString("b", &b));
  EXPECT_EQ("x", b);
  EXPECT_EQ(23u, deserializer.get_last_read_size());
}

TEST(JSONFileValueDeserializerTest, BrokenTextGivesParseError) {
  TestFolder folder;
  const FilePath path = folder.path().AppendASCII("broken.json");
  for (const char* text : {"{\"a\": 1,}", "{\"a\": ", "", "\xEF\xBB\xBF{"}) {
    WriteText(path, text);
    JSONFileValueDeserializer deserializer(path);
    int code = 0;
    std::string message;
    EXPECT_FALSE(deserializer.Deserialize(&code, &message)) << text;
    EXPECT_GE(code, 1) << text;
    EXPECT_LE(code, 8) << text;
    EXPECT_FALSE(message.empty()) << text;
    // Null out-pointers are allowed.
    EXPECT_FALSE(deserializer.Deserialize(nullptr, nullptr));
  }
}

TEST(JSONFileValueDeserializerTest, FileErrors) {
  TestFolder folder;
  int code = 0;
  std::string message;

  // Even with a stale access-denied error on the thread, a missing file is
  // reported as missing.
  ::SetLastError(ERROR_ACCESS_DENIED);
  JSONFileValueDeserializer missing(folder.path().AppendASCII("none.json"));
  EXPECT_FALSE(missing.Deserialize(&code, &message));
  EXPECT_EQ(JSONFileValueDeserializer::JSON_NO_SUCH_FILE, code);
  EXPECT_EQ("File doesn't exist.", message);
  EXPECT_EQ(0u, missing.get_last_read_size());

  const FilePath path = folder.path().AppendASCII("locked.json");
  WriteText(path, "{}");
  HANDLE locked = ::CreateFileW(as_wcstr(path.value()), GENERIC_READ, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, locked);
  JSONFileValueDeserializer deserializer(path);
  EXPECT_FALSE(deserializer.Deserialize(&code, &message));
  ::CloseHandle(locked);
  EXPECT_EQ(JSONFileValueDeserializer::JSON_FILE_LOCKED, code);
  EXPECT_EQ("File locked.", message);
}

}  // namespace
}  // namespace base
