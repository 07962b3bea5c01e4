#include "base/command_line.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

CommandLine FromItems(const std::vector<string16>& items) {
  CommandLine command_line;
  command_line.InitFromArgvVector(items);
  return command_line;
}

TEST(CommandLineTest, SplitsSwitchesFromArguments) {
  CommandLine line = FromItems({u"prog", u"a", u"--Flag=X", u"b"});
  EXPECT_EQ(u"prog", line.GetProgram().value());
  EXPECT_FALSE(line.HasSwitch("Flag"));
  EXPECT_FALSE(line.HasSwitch("--flag"));
  EXPECT_EQ(u"X", line.GetSwitchValueNative("flag"));
  // The switch moves before the arguments, its name lower case, its value
  // unchanged.
  EXPECT_EQ(u"--flag=X a b", line.GetArgumentsString());
  EXPECT_EQ(u"prog --flag=X a b", line.GetCommandLineString());
}

TEST(CommandLineTest, RecognisesEachPrefix) {
  CommandLine line = FromItems({u"p", u"/InstallFolder=C:\\x", u"-v=2",
                                u"---x", u"-", u"--", u"/", u"--b", u"c"});
  EXPECT_EQ(u"C:\\x", line.GetSwitchValueNative("installfolder"));
  EXPECT_EQ("2", line.GetSwitchValueASCII("v"));
  EXPECT_TRUE(line.HasSwitch("-x"));
  // "-" is only a prefix, so an argument; "--" ends the switches.
  EXPECT_FALSE(line.HasSwitch("b"));
  EXPECT_EQ(u"/installfolder=\"C:\\x\" -v=2 ---x - -- / --b c",
            line.GetArgumentsString());
}

TEST(CommandLineTest, ValuesFollowTheFirstEqualsSign) {
  CommandLine line =
      FromItems({u"p", u"--a=1", u"--a=2", u"--x=", u"--y=a=b", u"--=v"});
  EXPECT_EQ(u"2", line.GetSwitchValueNative("a"));
  EXPECT_TRUE(line.HasSwitch("x"));
  EXPECT_EQ(u"", line.GetSwitchValueNative("x"));
  EXPECT_EQ(u"a=b", line.GetSwitchValueNative("y"));
  EXPECT_EQ(u"v", line.GetSwitchValueNative(""));
  EXPECT_TRUE(line.HasSwitch(nullptr));
  EXPECT_EQ(u"--a=1 --a=2 --x --y=a=b --=v", line.GetArgumentsString());
  EXPECT_FALSE(FromItems({u"p", u"--a"}).HasSwitch(nullptr));
}

TEST(CommandLineTest, TrimsItemsAndDropsEmptyOnes) {
  CommandLine line = FromItems(
      {u" prog ", u"", u" \t", u"\u3000--k=v\u00a0", u" a b "});
  EXPECT_EQ(u"prog", line.GetProgram().value());
  EXPECT_EQ(u"v", line.GetSwitchValueNative("k"));
  EXPECT_EQ(u"--k=v \"a b\"", line.GetArgumentsString());

  CommandLine empty = FromItems({});
  EXPECT_TRUE(empty.GetProgram().empty());
  EXPECT_EQ(u"", empty.GetCommandLineString());
}

TEST(CommandLineTest, MissingAndNonAsciiValues) {
  CommandLine line = FromItems({u"p", u"--name=caf\u00e9", u"--dir=C:\\a"});
  EXPECT_EQ(u"", line.GetSwitchValueNative("absent"));
  EXPECT_TRUE(line.GetSwitchValuePath("absent").empty());
  EXPECT_EQ("", line.GetSwitchValueASCII("absent"));
  EXPECT_EQ("", line.GetSwitchValueASCII("name"));
  EXPECT_EQ(u"caf\u00e9", line.GetSwitchValueNative("name"));
  EXPECT_EQ(u"C:\\a", line.GetSwitchValuePath("dir").value());
}

TEST(CommandLineTest, WideNamesAreNarrowedToTheirLowBytes) {
  // U+0173 narrows to 's': distinct wide names meet in one key.
  CommandLine line = FromItems({u"p", u"--\u0173ilent", u"--SILENT=1"});
  EXPECT_TRUE(line.HasSwitch("silent"));
  EXPECT_EQ(u"1", line.GetSwitchValueNative("silent"));

  // A unit that narrows to NUL ends the name, so that no NUL reaches the
  // text of a child's command line.
  CommandLine cut = FromItems({u"p", u"--a\u0100b=v"});
  EXPECT_EQ(u"v", cut.GetSwitchValueNative("a"));
  EXPECT_EQ(string16::npos, cut.GetCommandLineString().find(char16(0)));

  // Units that narrow to "=" or to trailing whitespace end the name the
  // way parsing the written switch in a child would.
  CommandLine crafted =
      FromItems({u"p", u"--system-level\u013D1", u"--b\u0120", u"--c\u0120=x"});
  EXPECT_TRUE(crafted.HasSwitch("system-level"));
  EXPECT_EQ(u"", crafted.GetSwitchValueNative("system-level"));
  EXPECT_TRUE(crafted.HasSwitch("b"));
  EXPECT_EQ(u"x", crafted.GetSwitchValueNative("c"));
  CommandLine child;
  child.AppendArguments(crafted, true);
  EXPECT_EQ(crafted.GetCommandLineString(), child.GetCommandLineString());
}

TEST(CommandLineTest, QuotesForCommandLineToArgvW) {
  struct {
    const char16* item;
    const char16* quoted;
  } cases[] = {
      {u"abc", u"abc"},
      {u"", u""},
      {u"a b", u"\"a b\""},
      {u"C:\\dir\\file", u"\"C:\\dir\\file\""},
      {u"C:\\dir\\", u"\"C:\\dir\\\\\""},
      {u"say \"hi\"", u"\"say \\\"hi\\\"\""},
      {u"a\\\"b", u"\"a\\\\\\\"b\""},
      {u"a\\\\b", u"\"a\\\\b\""},
      {u"a\tb", u"\"a\tb\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(string16(c.quoted), QuoteForCommandLineToArgvW(c.item));
}

TEST(CommandLineTest, AppendsSwitchesBeforeArguments) {
  CommandLine line(FilePath(u"C:\\Program Files\\x\\setup.exe"));
  line.AppendArg("first");
  line.AppendSwitch("system-level");
  line.AppendSwitchASCII("Mode", "fast");
  line.AppendSwitchPath("installfolder", FilePath(u"C:\\Program Files\\x"));
  line.AppendSwitchNative("/u", u"\u00e9");
  line.AppendArg("caf\xc3\xa9");
  EXPECT_TRUE(line.HasSwitch("mode"));
  EXPECT_TRUE(line.HasSwitch("u"));
  EXPECT_EQ(
      u"\"C:\\Program Files\\x\\setup.exe\" --system-level --mode=fast "
      u"--installfolder=\"C:\\Program Files\\x\" /u=\u00e9 first caf\u00e9",
      line.GetCommandLineString());

  // Without a program the text begins with the separating space.
  CommandLine no_program;
  no_program.AppendSwitch("a");
  EXPECT_EQ(u" --a", no_program.GetCommandLineString());

  // The program is read back without escapes: a final backslash stays
  // single, and a quote would move its end into the arguments, so such a
  // program is refused.
  CommandLine spaced(FilePath(u"C:\\spaced exe\\"));
  spaced.AppendArg("arg1");
  EXPECT_EQ(u"\"C:\\spaced exe\\\" arg1", spaced.GetCommandLineString());
  CommandLine quoted(FilePath(u"exe\"file\"path"));
  quoted.AppendArg("arg1");
  EXPECT_EQ(u"", quoted.GetCommandLineString());
}

TEST(CommandLineTest, ArgumentsThatLookLikeSwitchesStayArguments) {
  CommandLine line(FilePath(u"p"));
  line.AppendArg("plain");
  line.AppendArg("--system-level");
  line.AppendArg("/x y");
  EXPECT_FALSE(line.HasSwitch("system-level"));
  EXPECT_EQ(u"p plain -- --system-level \"/x y\"",
            line.GetCommandLineString());

  CommandLine reparsed;
  reparsed.AppendArguments(line, true);
  EXPECT_FALSE(reparsed.HasSwitch("system-level"));
  EXPECT_FALSE(reparsed.HasSwitch("x y"));
  EXPECT_EQ(line.GetCommandLineString(), reparsed.GetCommandLineString());
}

TEST(CommandLineTest, CraftedNamesCannotAddSwitchesWhenWrittenAgain) {
  // One item whose name holds a space, and items that are a bare prefix
  // with "=": written back bare, they would split or end the switches.
  CommandLine line = FromItems(
      {u"p", u"--a --system-level=x", u"--=", u"-=", u"--b=1", u"c"});
  EXPECT_FALSE(line.HasSwitch("system-level"));
  EXPECT_TRUE(line.HasSwitch(""));
  EXPECT_EQ(u"\"--a --system-level=x\" --= -= --b=1 c",
            line.GetArgumentsString());

  CommandLine reparsed;
  reparsed.AppendArguments(line, true);
  EXPECT_FALSE(reparsed.HasSwitch("system-level"));
  EXPECT_TRUE(reparsed.HasSwitch("a --system-level"));
  EXPECT_EQ(u"1", reparsed.GetSwitchValueNative("b"));
  EXPECT_EQ(line.GetCommandLineString(), reparsed.GetCommandLineString());
}

TEST(CommandLineTest, CopiesAreIndependent) {
  CommandLine source = FromItems({u"p", u"--a=1", u"x"});
  CommandLine copy(source);
  copy.AppendSwitchASCII("b", "2");
  copy.AppendSwitchASCII("a", "3");
  EXPECT_FALSE(source.HasSwitch("b"));
  EXPECT_EQ(u"1", source.GetSwitchValueNative("a"));
  EXPECT_EQ(u"p --a=1 x", source.GetCommandLineString());
  EXPECT_EQ(u"2", copy.GetSwitchValueNative("b"));
  EXPECT_EQ(u"3", copy.GetSwitchValueNative("a"));

  // Assignment rebuilds the lookups over the copied switches.
  copy = source;
  EXPECT_FALSE(copy.HasSwitch("b"));
  EXPECT_EQ(u"1", copy.GetSwitchValueNative("a"));
}

TEST(CommandLineTest, CopiesNamedSwitchesAndAppendsOtherLines) {
  CommandLine source = FromItems({u"p", u"--v=2", u"--vmodule=x=1", u"--q"});
  CommandLine child(FilePath(u"child"));
  const char* const names[] = {"v", "missing", nullptr, "q"};
  child.CopySwitchesFrom(source, names, 4);
  EXPECT_EQ(u"child --v=2 --q", child.GetCommandLineString());

  CommandLine other = FromItems({u"other", u"--z", u"arg", u"--", u"--w"});
  child.AppendArguments(other, false);
  EXPECT_EQ(u"child --v=2 --q --z arg -- --w", child.GetCommandLineString());
  child.AppendArguments(child, true);
  EXPECT_EQ(u"child", child.GetProgram().value());
  EXPECT_FALSE(child.HasSwitch("w"));
}

}  // namespace
}  // namespace base
