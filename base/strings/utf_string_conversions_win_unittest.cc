#include "base/strings/utf_string_conversions.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(UTFStringConversionsWinTest, WideWrappers) {
  EXPECT_EQ(L"", UTF8ToWide(""));
  EXPECT_EQ("", WideToUTF8(L""));
  EXPECT_EQ(L"C:\\Palvo", UTF8ToWide("C:\\Palvo"));
  EXPECT_EQ(L"\u00e9\U0001F600", UTF8ToWide("\xc3\xa9\xf0\x9f\x98\x80"));
  EXPECT_EQ(L"\ufffd" L"A", UTF8ToWide("\xe2\x82" "A"));
  EXPECT_EQ("\xc3\xa9\xf0\x9f\x98\x80", WideToUTF8(L"\u00e9\U0001F600"));
  EXPECT_EQ("\xef\xbf\xbd" "A", WideToUTF8(std::wstring(L"\xdc00" L"A")));
  EXPECT_EQ(std::string("a\0b", 3), WideToUTF8(std::wstring(L"a\0b", 3)));
  EXPECT_EQ(std::wstring(L"a\0b\u00e9", 4),
            UTF8ToWide(StringPiece("a\0b\xc3\xa9", 5)));
}

}  // namespace
}  // namespace base
