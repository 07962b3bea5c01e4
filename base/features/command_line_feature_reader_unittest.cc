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

struct LoggedLine {
  std::string file;
  int line;
  std::string message;
};

std::vector<LoggedLine>* g_warnings = nullptr;

bool CaptureWarning(int severity,
                    const char* file,
                    int line,
                    size_t message_start,
                    const std::string& text) {
  if (severity != LOG_WARNING || !g_warnings)
    return false;
  std::string message = text.substr(message_start);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
    message.pop_back();
  g_warnings->push_back(LoggedLine{file, line, message});
  return true;
}

class CommandLineFeatureReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    g_warnings = &warnings_;
    previous_handler_ = GetLogMessageHandler();
    SetLogMessageHandler(&CaptureWarning);
  }
  void TearDown() override {
    SetLogMessageHandler(previous_handler_);
    g_warnings = nullptr;
  }

  std::vector<FeatureOverride> Read(const CommandLine& command_line) {
    std::vector<FeatureOverride> out;
    CommandLineFeatureReader reader(&command_line);
    reader.ReadOverrides(&out);
    return out;
  }

  std::vector<LoggedLine> warnings_;
  LogMessageHandlerFunction previous_handler_ = nullptr;
};

TEST_F(CommandLineFeatureReaderTest, ReadsOnOffAndBareSwitchesInKeyOrder) {
  CommandLine command_line;
  command_line.AppendSwitchASCII("with-feature:zeta", "off");
  command_line.AppendSwitch("with-feature:alpha");
  command_line.AppendSwitchASCII("with-feature:mid", "on");
  command_line.AppendSwitchASCII("other", "off");
  command_line.AppendSwitchASCII("with-feature", "on");
  command_line.AppendSwitchASCII("without-feature:x", "on");
  const std::vector<FeatureOverride> out = Read(command_line);
  ASSERT_EQ(3u, out.size());
  EXPECT_EQ("alpha", out[0].name);
  EXPECT_TRUE(out[0].enabled);
  EXPECT_EQ("mid", out[1].name);
  EXPECT_TRUE(out[1].enabled);
  EXPECT_EQ("zeta", out[2].name);
  EXPECT_FALSE(out[2].enabled);
  EXPECT_TRUE(warnings_.empty());
}

TEST_F(CommandLineFeatureReaderTest, UnhandledValuesWarnAndAddNothing) {
  CommandLine command_line;
  command_line.AppendSwitchASCII("with-feature:foo", "maybe");
  command_line.AppendSwitchASCII("with-feature:caps", "ON");
  // A Cyrillic "o": not ASCII, and must not count as a switch without value.
  command_line.AppendSwitchNative("with-feature:lookalike", string16(u"\u043eff"));
  EXPECT_TRUE(Read(command_line).empty());

  ASSERT_EQ(3u, warnings_.size());
  EXPECT_EQ("with-feature:caps has unhandled value: \"ON\" did you mean \"on\" or \"off\"? "
            "Using default setting.",
            warnings_[0].message);
  EXPECT_EQ("with-feature:foo has unhandled value: \"maybe\" did you mean \"on\" or \"off\"? "
            "Using default setting.",
            warnings_[1].message);
  EXPECT_NE(std::string::npos, warnings_[2].message.find("\"\xD0\xBE" "ff\""));
  const std::string file = warnings_[1].file;
  const std::string expected_file = "command_line_feature_reader.cc";
  ASSERT_GE(file.size(), expected_file.size());
  EXPECT_EQ(expected_file, file.substr(file.size() - expected_file.size()));
  EXPECT_EQ(34, warnings_[1].line);
}

TEST_F(CommandLineFeatureReaderTest, UnhandledValueKeepsTheEarlierOverride) {
  FeatureRegistry registry;
  registry.AddFeature("foo", false, true);
  registry.AddFeature("bar", true, true);
  ListValue experiments;
  experiments.AppendString("foo@1");
  ExperimentsFeatureReader experiments_reader(&experiments);
  registry.ReadOverridesFrom(&experiments_reader);

  CommandLine command_line;
  command_line.AppendSwitchASCII("with-feature:foo", "maybe");
  command_line.AppendSwitchASCII("with-feature:bar", "maybe");
  CommandLineFeatureReader reader(&command_line);
  registry.ReadOverridesFrom(&reader);
  EXPECT_TRUE(registry.IsEnabled("foo"));
  EXPECT_TRUE(registry.IsEnabled("bar"));
}

TEST_F(CommandLineFeatureReaderTest, ChildSeesTheParentsOverriddenStates) {
  const char* const kNames[] = {"child-a", "child-b", "child-c", "child-d"};
  FeatureRegistry* parent = FeatureRegistry::GetInstance();
  parent->AddFeature(kNames[0], false, true);
  parent->AddFeature(kNames[1], true, true);
  parent->AddFeature(kNames[2], false, true);
  parent->AddFeature(kNames[3], true, true);
  ListValue experiments;
  experiments.AppendString("child-a@1");
  experiments.AppendString("child-b@2");
  experiments.AppendString("child-c@1");
  ExperimentsFeatureReader experiments_reader(&experiments);
  parent->ReadOverridesFrom(&experiments_reader);
  CommandLine parent_switches;
  parent_switches.AppendSwitchASCII("with-feature:child-c", "off");
  CommandLineFeatureReader parent_reader(&parent_switches);
  parent->ReadOverridesFrom(&parent_reader);

  CommandLine child_command_line;
  child_command_line.AppendArg("argument");
  AppendFeatureSwitches(&child_command_line);
  EXPECT_EQ(u"off", child_command_line.GetSwitchValueNative("with-feature:child-b"));

  // The child parses its items again.
  CommandLine parsed;
  parsed.AppendArguments(child_command_line, true);

  FeatureRegistry child;
  child.AddFeature(kNames[0], false, true);
  child.AddFeature(kNames[1], true, true);
  child.AddFeature(kNames[2], false, true);
  child.AddFeature(kNames[3], true, true);
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
