#include "base/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// What Windows itself makes of |text|.
std::vector<string16> SplitWithWindows(const string16& text) {
  int count = 0;
  wchar_t** items = CommandLineToArgvW(as_wcstr(text), &count);
  std::vector<string16> result;
  for (int i = 0; items && i < count; ++i)
    result.push_back(as_u16cstr(items[i]));
  LocalFree(items);
  return result;
}

const char16* const kHardItems[] = {
    u"plain",
    u"with space",
    u"C:\\Program Files\\dir\\",
    u"C:\\dir\\\\",
    u"say \"hi\"",
    u"a\\\"b",
    u"\\\\server\\share",
    u"\"",
    u"\\",
    u"\\\"\\\\\"",
    u"tab\there",
    u"line\nbreak\vx",
    u"caf\u00e9 \u65e5\u672c \U0001F600",
    u"x=\"y z\"\\",
};

TEST(CommandLineWinTest, QuotedItemsSplitBackThroughWindows) {
  for (size_t i = 0; i < sizeof(kHardItems) / sizeof(kHardItems[0]); ++i) {
    SCOPED_TRACE(i);
    const string16 item(kHardItems[i]);
    const string16 text = u"prog " + QuoteForCommandLineToArgvW(item);
    std::vector<string16> split = SplitWithWindows(text);
    ASSERT_EQ(2u, split.size());
    EXPECT_EQ(item, split[1]);

    // The same as the program, which has rules of its own.
    CommandLine line{FilePath(item)};
    line.AppendArg("arg1");
    const string16 written = line.GetCommandLineString();
    if (item.find(u'"') != string16::npos) {
      EXPECT_EQ(u"", written);
      continue;
    }
    split = SplitWithWindows(written);
    ASSERT_EQ(2u, split.size()) << UTF16ToUTF8(written);
    EXPECT_EQ(item, split[0]);
    EXPECT_EQ(u"arg1", split[1]);
  }
}

TEST(CommandLineWinTest, CommandLineStringRoundTripsThroughWindows) {
  CommandLine line(FilePath(u"C:\\Program Files\\Palvo\\setup.exe"));
  for (size_t i = 0; i < sizeof(kHardItems) / sizeof(kHardItems[0]); ++i) {
    line.AppendSwitchNative("v" + std::to_string(i), kHardItems[i]);
    line.AppendArg(UTF16ToUTF8(kHardItems[i]));
  }
  line.AppendSwitchPath("installfolder", FilePath(u"C:\\Program Files\\P\\"));
  line.AppendSwitch("system-level");
  line.AppendArg("arg with space");
  line.AppendArg("--looks-like-a-switch");
  line.AppendArg("trailing\\");

  CommandLine parsed;
  parsed.ParseFromString(line.GetCommandLineString());
  EXPECT_EQ(line.GetCommandLineString(), parsed.GetCommandLineString());
  EXPECT_EQ(line.GetProgram(), parsed.GetProgram());
  EXPECT_EQ(u"C:\\Program Files\\P\\",
            parsed.GetSwitchValueNative("installfolder"));
  EXPECT_TRUE(parsed.HasSwitch("system-level"));
  EXPECT_FALSE(parsed.HasSwitch("looks-like-a-switch"));
  for (size_t i = 0; i < sizeof(kHardItems) / sizeof(kHardItems[0]); ++i) {
    EXPECT_EQ(string16(kHardItems[i]),
              parsed.GetSwitchValueNative("v" + std::to_string(i)));
  }
}

TEST(CommandLineWinTest, ParsesTheRulesFromText) {
  CommandLine line;
  line.ParseFromString(
      u"  \"C:\\a b\\p.exe\" a --Flag=X \"--dir=C:\\x y\\\\\" /S -- --n \"\"  ");
  EXPECT_EQ(u"C:\\a b\\p.exe", line.GetProgram().value());
  EXPECT_EQ(u"C:\\x y\\", line.GetSwitchValueNative("dir"));
  EXPECT_EQ(u"--flag=X --dir=\"C:\\x y\\\\\" /s a -- --n",
            line.GetArgumentsString());

  // Whitespace only leaves the instance as it was.
  line.ParseFromString(u" \t ");
  EXPECT_TRUE(line.HasSwitch("flag"));
}

TEST(CommandLineWinTest, InitReadsTheProcessCommandLine) {
  CommandLine::Init();
  CommandLine* current = CommandLine::ForCurrentProcess();
  ASSERT_NE(nullptr, current);
  EXPECT_FALSE(CommandLine::Init());
  EXPECT_EQ(current, CommandLine::ForCurrentProcess());
  CommandLine expected;
  expected.ParseFromString(as_u16cstr(GetCommandLineW()));
  EXPECT_EQ(expected.GetCommandLineString(), current->GetCommandLineString());
  EXPECT_FALSE(current->GetProgram().empty());
}

}  // namespace
}  // namespace base
