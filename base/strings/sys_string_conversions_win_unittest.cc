#include "base/strings/sys_string_conversions.h"

#include <string>

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(SysStringConversionsTest, EmptyText) {
  EXPECT_EQ(L"", SysUTF8ToWide(""));
  EXPECT_EQ(L"", SysUTF8ToWide(StringPiece()));
  EXPECT_EQ("", SysWideToUTF8(L""));
}

TEST(SysStringConversionsTest, WellFormedTextAgreesWithOurConverters) {
  const char kUTF8[] =
      "Palvo \xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80 "
      "\xef\xbf\xbf\xf4\x8f\xbf\xbf";
  const std::wstring wide = SysUTF8ToWide(kUTF8);
  EXPECT_EQ(L"Palvo \u00e9t\u00e9 \u65e5\u672c \U0001F600 \uffff\U0010FFFF",
            wide);
  EXPECT_EQ(UTF8ToWide(kUTF8), wide);
  EXPECT_EQ(kUTF8, SysWideToUTF8(wide));
  EXPECT_EQ(WideToUTF8(wide), SysWideToUTF8(wide));
}

TEST(SysStringConversionsTest, LengthsAreExplicit) {
  // Embedded NULs are text like any other, in both directions.
  const std::string narrow("a\0b", 3);
  const std::wstring wide(L"a\0b", 3);
  EXPECT_EQ(wide, SysUTF8ToWide(narrow));
  EXPECT_EQ(narrow, SysWideToUTF8(wide));
  // A view that ends before the NUL of its buffer converts only its bytes.
  EXPECT_EQ(L"ab", SysUTF8ToWide(StringPiece("abc", 2)));
}

TEST(SysStringConversionsTest, MalformedTextStillConverts) {
  // Windows substitutes U+FFFD itself; how many it writes is its own
  // business, so only the well-formed neighbours are pinned down.
  const std::wstring wide = SysUTF8ToWide("a\x80" "b\xff");
  ASSERT_FALSE(wide.empty());
  EXPECT_EQ(L'a', wide.front());
  EXPECT_NE(std::wstring::npos, wide.find(L'b'));
  EXPECT_NE(std::wstring::npos, wide.find(L'\xfffd'));

  const std::string narrow = SysWideToUTF8(std::wstring(L"a\xd800" L"b"));
  ASSERT_FALSE(narrow.empty());
  EXPECT_EQ('a', narrow.front());
  EXPECT_EQ('b', narrow.back());
}

}  // namespace
}  // namespace base
