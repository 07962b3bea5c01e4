#include "base/features/command_line_feature_reader.h"

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/features/experiments_feature_reader.h"
#include "base/logging.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::vector<std::string> g_warnings;
int g_warning_line = 0;

bool CaptureWarning(int severity,
                    const char* file,
                    int line,
                    size_t start,
                    const std::string& text) {
  if (severity != LOG_WARNING)
    return false;
  g_warnings.push_back(text.substr(start, text.find_last_not_of("\r\n") + 1 - start));
  g_warning_line =
      std::string(file).find("command_line_feature_reader.cc") != std::string::npos ? line : -1;
  return true;
}

std::vector<FeatureOverride> Read(const CommandLine& command_line) {
  std::vector<FeatureOverride> out;
  CommandLineFeatureReader reader(&command_line);
  LogMessageHandlerFunction previous = GetLogMessageHandler();
  g_warnings.clear();
  SetLogMessageHandler(&CaptureWarning);
  reader.ReadOverrides(&out);
  SetLogMessageHandler(previous);
  return out;
}

TEST(CommandLineFeatureReaderTest, ReadsOnOffAndBareSwitchesInKeyOrder) {
  CommandLine command_line;
  command_line.AppendSwitchASCII("with-feature:zeta", "off");
  command_line.AppendSwitch("with-feature:alpha");
  command_line.AppendSwitchASCII("with-feature:mid", "on");
  command_line.AppendSwitchASCII("with-feature", "on");
  command_line.AppendSwitchASCII("without-feature:x", "on");
  const std::vector<FeatureOverride> out = Read(command_line);
  ASSERT_EQ(3u, out.size());
  EXPECT_EQ("alpha", out[0].name);
  EXPECT_EQ("mid", out[1].name);
  EXPECT_EQ("zeta", out[2].name);
  EXPECT_TRUE(out[0].enabled && out[1].enabled && !out[2].enabled);
  EXPECT_TRUE(g_warnings.empty());
}

TEST(CommandLineFeatureReaderTest, UnhandledValuesWarnAndAddNothing) {
  CommandLine command_line;
  command_line.AppendSwitchASCII("with-feature:caps", "ON");
  // A Cyrillic "o": not ASCII, and not to be taken for a missing value.
  command_line.AppendSwitchNative("with-feature:lookalike", string16(u"\u043eff"));
  command_line.AppendSwitchASCII("with-feature:foo", "maybe");
  EXPECT_TRUE(Read(command_line).empty());
  ASSERT_EQ(3u, g_warnings.size());
  EXPECT_EQ(
      "with-feature:foo has unhandled value: \"maybe\" did you mean \"on\" or \"off\"? "
      "Using default setting.",
      g_warnings[1]);
  EXPECT_NE(std::string::npos, g_warnings[2].find("\"\320\276ff\""));  // UTF-8
  EXPECT_EQ(34, g_warning_line);
}

TEST(CommandLineFeatureReaderTest, ChildSeesTheParentsStates) {
  const char* const kNames[] = {"child-a", "child-b", "child-c", "child-d"};
  FeatureRegistry* parent = FeatureRegistry::GetInstance();
  FeatureRegistry child;
  for (FeatureRegistry* registry : {parent, &child}) {
    for (size_t i = 0; i < 4; ++i)
      registry->AddFeature(kNames[i], i % 2 == 1, true);
  }
  // Experiments first, the command line second: the switch wins.
  ListValue experiments;
  experiments.AppendString("child-a@1");
  experiments.AppendString("child-b@2");
  experiments.AppendString("child-c@1");
  ExperimentsFeatureReader experiments_reader(&experiments);
  parent->ReadOverridesFrom(&experiments_reader);
  CommandLine parent_command_line;
  parent_command_line.AppendSwitchASCII("with-feature:child-c", "off");
  parent_command_line.AppendSwitchASCII("with-feature:child-a", "maybe");
  CommandLineFeatureReader parent_reader(&parent_command_line);
  parent->ReadOverridesFrom(&parent_reader);

  CommandLine child_command_line;
  AppendFeatureSwitches(&child_command_line);
  CommandLine parsed;  // the child parses the items it is given
  parsed.AppendArguments(child_command_line, true);
  CommandLineFeatureReader child_reader(&parsed);
  child.ReadOverridesFrom(&child_reader);
  for (const char* name : kNames)
    EXPECT_EQ(parent->IsEnabled(name), child.IsEnabled(name)) << name;
  EXPECT_TRUE(child.IsEnabled("child-a"));
  EXPECT_FALSE(child.IsEnabled("child-b"));
  EXPECT_FALSE(child.IsEnabled("child-c"));
  EXPECT_TRUE(child.IsEnabled("child-d"));
}

}  // namespace
}  // namespace base
