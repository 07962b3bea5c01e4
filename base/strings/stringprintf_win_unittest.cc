#include "base/strings/stringprintf.h"

#include <string.h>

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringPrintf16Test, WideArgumentsAreLs) {
  const string16 name = u"Palvo \x00E9\x4E2D";
  EXPECT_EQ(u"Palvo \x00E9\x4E2D 3", StringPrintf16(u"%ls %d", as_wcstr(name), 3));
  // "%s" in a wide format reads narrow text here, as the C standard says.
  EXPECT_EQ(u"narrow", StringPrintf16(u"%s", "narrow"));
  EXPECT_EQ(u"", StringPrintf16(u"%ls", L""));
  // A surrogate pair passes through unchanged.
  EXPECT_EQ(u"\xD83D\xDE00", StringPrintf16(u"%ls", L"\xD83D\xDE00"));
  // Narrow text that is not ASCII would be read as Latin-1, so the call
  // fails; "%S" and "%C" are wide here, "%hs" narrow.
  EXPECT_EQ(u"", StringPrintf16(u"[%s]", "caf\xC3\xA9"));
  EXPECT_EQ(u"", StringPrintf16(u"%d%hs", 1, "\xC3\xA9"));
  EXPECT_EQ(u"", StringPrintf16(u"%c", 0xE9));
  EXPECT_EQ(u"\x00E9|\x4E2D|ab",
            StringPrintf16(u"%S|%C|%.2s", L"\x00E9", 0x4E2D, "ab\xC3\xA9"));
  // A conversion the runtime does not know fails instead of being guessed.
  EXPECT_EQ(u"", StringPrintf16(u"%y %ls", L"x"));
}

TEST(StringPrintf16Test, HeapPath) {
  string16 long_text(3000, u'w');
  string16 expected = u"[" + long_text + u"]";
  EXPECT_EQ(expected, StringPrintf16(u"[%ls]", as_wcstr(long_text)));
}

TEST(StringPrintf16Test, CheckedReportsTheWholeLength) {
  char16 buffer[4];
  auto format = [&](const char16* f, ...) {
    va_list arguments;
    va_start(arguments, f);
    int result = vswprintfChecked(buffer, 4, f, arguments);
    va_end(arguments);
    return result;
  };
  EXPECT_EQ(4, format(u"%ls", L"wide"));
  EXPECT_EQ(string16(u"wid"), string16(buffer));
}

}  // namespace
}  // namespace base
