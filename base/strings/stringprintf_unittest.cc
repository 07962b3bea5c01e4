#include "base/strings/stringprintf.h"

#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <string>

#include "base/strings/stringprintf_internal.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringPrintfTest, FormatsLikeTheRuntime) {
  EXPECT_EQ("", StringPrintf("%s", ""));
  EXPECT_EQ("1.2.3.4", StringPrintf("%d.%d.%d.%d", 1, 2, 3, 4));
  EXPECT_EQ("-5 18446744073709551615",
            StringPrintf("%lld %llu", -5LL, 18446744073709551615ULL));
  EXPECT_EQ("0A|7|x", StringPrintf("%02X|%zu|%c", 10, static_cast<size_t>(7), 'x'));
  EXPECT_EQ("wide", StringPrintf("%ls", L"wide"));
  EXPECT_EQ("1.500", StringPrintf("%.3f", 1.5));
}

TEST(StringPrintfTest, WideTextIsAsciiOrTheCallFails) {
  // Narrow text is UTF-8: wide text that is not ASCII would come out as
  // other bytes (or cut short), so the call fails and appends nothing.
  std::string text = "keep";
  StringAppendF(&text, "[%ls]", L"caf\u00e9 \u65e5\u672c end");
  StringAppendF(&text, "%d %ls", 1, L"\u00e9");
  StringAppendF(&text, "%lc", static_cast<wint_t>(0xE9));
  EXPECT_EQ("keep", text);
  // ASCII passes, arguments before it walked past whatever their kind; a
  // precision stops before the first unit that would not.
  EXPECT_EQ("  x|1.5|7|ab|A|(null)",
            StringPrintf("%*s|%.1f|%lld|%.*ls|%lc|%ls", 3, "x", 1.5, 7LL, 2,
                         L"ab\u00e9", static_cast<wint_t>('A'),
                         static_cast<const wchar_t*>(nullptr)));
}

TEST(StringPrintfTest, AppendAndReplace) {
  std::string text = "keep ";
  StringAppendF(&text, "%d", 42);
  EXPECT_EQ("keep 42", text);
  EXPECT_EQ("new", SStringPrintf(&text, "%s", "new"));
  EXPECT_EQ("new", text);
  SStringPrintf(&text, "%s", "");
  EXPECT_EQ("", text);
}

TEST(StringPrintfTest, StackAndHeapBuffers) {
  for (size_t length : {1023u, 1024u, 1025u, 5000u, 100000u}) {
    std::string expected(length, 'a');
    expected[length - 1] = 'z';
    std::string text = "<";
    StringAppendF(&text, "%s", expected.c_str());
    EXPECT_EQ("<" + expected, text) << length;
  }
  std::string padded = StringPrintf("%2000d|", 7);
  EXPECT_EQ(2001u, padded.size());
  EXPECT_EQ("7|", padded.substr(1999));
}

TEST(StringPrintfTest, ResultsAboveTheLimitAppendNothing) {
  const int kLimit = static_cast<int>(internal::kMaxFormattedLength);
  std::string text = "x";
  // Padding a string, not a number: mingw's formatter builds padded
  // numbers on the stack.
  StringAppendF(&text, "%*s", kLimit, "1");
  EXPECT_EQ("x", text);
  StringAppendF(&text, "%*s", kLimit - 1, "1");
  ASSERT_EQ(internal::kMaxFormattedLength, text.size());
  EXPECT_EQ('1', text.back());
}

TEST(VsnprintfCheckedTest, ReportsTheWholeLength) {
  char buffer[4];
  memset(buffer, 'q', sizeof(buffer));
  auto format = [&](const char* f, ...) {
    va_list arguments;
    va_start(arguments, f);
    int result = vsnprintfChecked(buffer, sizeof(buffer), f, arguments);
    va_end(arguments);
    return result;
  };
  EXPECT_EQ(8, format("%s", "abcdefgh"));
  EXPECT_STREQ("abc", buffer);
  EXPECT_EQ(3, format("%d", 123));
  EXPECT_STREQ("123", buffer);
}

}  // namespace
}  // namespace base
