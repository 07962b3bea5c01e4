#include "base/logging.h"

#include <stdio.h>

#include <string>
#include <thread>
#include <vector>

#include "base/command_line.h"
#include "base/logging_internal.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "testing/expect_trap.h"

namespace base {
namespace {

namespace li = logging_internal;

struct Captured {
  int severity;
  int line;
  size_t message_start;
  std::string text;
};

std::vector<Captured>* g_captured = nullptr;
bool g_consume = true;

bool CaptureHandler(int severity,
                    const char* file,
                    int line,
                    size_t message_start,
                    const std::string& text) {
  g_captured->push_back({severity, line, message_start, text});
  return g_consume;
}

// Every test starts with no destinations, a capturing handler and the
// default prefix, and leaves the process-wide state as it found it.
class LoggingTest : public testing::Test {
 protected:
  void SetUp() override {
    g_captured = &captured_;
    g_consume = true;
    LoggingSettings settings;
    settings.logging_dest = LOG_NONE;
    BaseInitLoggingImpl(settings);
    SetLogMessageHandler(&CaptureHandler);
    SetMinLogLevel(LOG_INFO);
    SetLogItems(false, false, true, false);
  }
  void TearDown() override {
    SetLogMessageHandler(nullptr);
    SetMinLogLevel(LOG_INFO);
    SetLogItems(false, false, true, false);
    g_captured = nullptr;
  }
  std::string Message(size_t i) const {
    return captured_[i].text.substr(captured_[i].message_start);
  }

  std::vector<Captured> captured_;
};

int g_evaluations = 0;
int Counted() {
  ++g_evaluations;
  return 7;
}

TEST(LoggingRulesTest, SeverityNamesAndBaseNames) {
  EXPECT_EQ("INFO", li::SeverityName(0));
  EXPECT_EQ("WARNING", li::SeverityName(1));
  EXPECT_EQ("ERROR", li::SeverityName(2));
  EXPECT_EQ("FATAL", li::SeverityName(3));
  EXPECT_EQ("UNKNOWN", li::SeverityName(4));
  EXPECT_EQ("VERBOSE1", li::SeverityName(-1));
  EXPECT_EQ("VERBOSE3", li::SeverityName(-3));

  EXPECT_STREQ("a.cc", li::FileBaseName("x\\y/a.cc"));
  EXPECT_STREQ("a.cc", li::FileBaseName("a.cc"));
  EXPECT_STREQ("", li::FileBaseName("dir/"));
  EXPECT_STREQ("", li::FileBaseName(nullptr));
}

TEST(LoggingRulesTest, PrefixItemsInOrder) {
  li::PrefixFacts facts;
  facts.process_id = 12;
  facts.thread_id = 34;
  facts.time.month = 6;
  facts.time.day = 12;
  facts.time.hour = 14;
  facts.time.minute = 5;
  facts.time.second = 5;
  facts.tick_count = 99;

  li::PrefixItems defaults;
  EXPECT_EQ("[0612/140505:INFO:file.cc(7)] ",
            li::FormatPrefix(defaults, facts, LOG_INFO, "a\\file.cc", 7));

  li::PrefixItems all;
  all.process_id = all.thread_id = all.tick_count = true;
  EXPECT_EQ("[12:34:0612/140505:99:VERBOSE2:f.h(1)] ",
            li::FormatPrefix(all, facts, -2, "f.h", 1));

  li::PrefixItems none;
  none.timestamp = false;
  EXPECT_EQ("[UNKNOWN:(0)] ", li::FormatPrefix(none, facts, 4, nullptr, 0));
}

TEST(LoggingRulesTest, VlogModulesAndPatterns) {
  EXPECT_EQ("foo", li::VlogModuleName("a/b\\foo-inl.h"));
  EXPECT_EQ("foo", li::VlogModuleName("foo.cc"));
  EXPECT_EQ("foo.x", li::VlogModuleName("foo.x.cc"));
  EXPECT_EQ("noext", li::VlogModuleName("noext"));
  EXPECT_EQ("", li::VlogModuleName("-inl.h"));

  EXPECT_TRUE(li::MatchVlogPattern("abc", "a*"));
  EXPECT_TRUE(li::MatchVlogPattern("abc", "a?c"));
  EXPECT_TRUE(li::MatchVlogPattern("", ""));
  EXPECT_FALSE(li::MatchVlogPattern("a", ""));
  EXPECT_TRUE(li::MatchVlogPattern("", "**"));
  EXPECT_FALSE(li::MatchVlogPattern("", "?"));
  EXPECT_FALSE(li::MatchVlogPattern("abcd", "a?c"));
  EXPECT_TRUE(li::MatchVlogPattern("x\\bar\\baz.cc", "*/bar/*"));
  EXPECT_TRUE(li::MatchVlogPattern("x/bar\\baz.cc", "*\\bar/*"));
  EXPECT_FALSE(li::MatchVlogPattern("x\\barn\\baz.cc", "*/bar/*"));
  EXPECT_TRUE(li::MatchVlogPattern("aXbXc", "a*b*c"));
  EXPECT_FALSE(li::MatchVlogPattern("aXbXd", "a*b*c"));
  // Many stars over a long text must still finish.
  EXPECT_FALSE(li::MatchVlogPattern(std::string(40, 'a'),
                                    "*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(LoggingRulesTest, LevelsAndFileNames) {
  EXPECT_EQ(3, li::ClampMinLogLevel(7));
  EXPECT_EQ(-2, li::ClampMinLogLevel(-2));
  EXPECT_EQ(1, li::ClampMinLogLevel(1));

  EXPECT_EQ(u"C:\\app\\debug.log", li::LogFileNameBeside(u"C:\\app\\x.exe"));
  EXPECT_EQ(u"debug.log", li::LogFileNameBeside(u""));
  EXPECT_EQ(u"C:\\dir\\debug.log", li::LogFileNameIn(u"C:\\dir"));
  EXPECT_EQ(u"C:\\debug.log", li::LogFileNameIn(u"C:\\"));
}

TEST_F(LoggingTest, LineHasPrefixMessageAndNewline) {
  SetLogItems(false, false, false, false);
  LOG(WARNING) << "hello " << 42;
  ASSERT_EQ(1u, captured_.size());
  const std::string& text = captured_[0].text;
  EXPECT_EQ(LOG_WARNING, captured_[0].severity);
  EXPECT_EQ("[WARNING:logging_unittest.cc(" +
                std::to_string(captured_[0].line) + ")] hello 42\n",
            text);
  EXPECT_EQ("hello 42\n", Message(0));
}

TEST_F(LoggingTest, SuppressedStatementsEvaluateNothing) {
  g_evaluations = 0;
  SetMinLogLevel(LOG_ERROR);
  LOG(INFO) << Counted();
  LOG(WARNING) << Counted();
  VLOG(1) << Counted();
  LOG_IF(ERROR, false) << Counted();
  EXPECT_EQ(0, g_evaluations);
  EXPECT_TRUE(captured_.empty());

  LOG_IF(ERROR, true) << Counted();
  CHECK(true) << Counted();
  CHECK_EQ(1, 1) << Counted();
  DCHECK(true) << Counted();
  EXPECT_EQ(1, g_evaluations);
  EXPECT_EQ(1u, captured_.size());
}

TEST_F(LoggingTest, ShouldCreateLogMessageRules) {
  // A handler is set: everything from the minimum level up.
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_INFO));
  EXPECT_FALSE(ShouldCreateLogMessage(-1));
  SetLogMessageHandler(nullptr);
  // No destinations and no handler: only what goes to standard error.
  EXPECT_FALSE(ShouldCreateLogMessage(LOG_INFO));
  EXPECT_FALSE(ShouldCreateLogMessage(LOG_WARNING));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_ERROR));
  SetMinLogLevel(7);
  EXPECT_EQ(LOG_FATAL, GetMinLogLevel());
  EXPECT_FALSE(ShouldCreateLogMessage(LOG_ERROR));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_FATAL));
}

TEST_F(LoggingTest, VerboseLevelsFollowMinimumLevel) {
  EXPECT_EQ(0, GetVlogLevel(__FILE__)) << "no verbose logging by default";
  SetMinLogLevel(LOG_ERROR);
  EXPECT_EQ(-1, GetVlogLevel(__FILE__));
  SetMinLogLevel(-2);
  VLOG(1) << "one";
  VLOG(2) << "two";
  VLOG(3) << "three";
  ASSERT_EQ(2u, captured_.size());
  EXPECT_EQ(-1, captured_[0].severity);
  EXPECT_NE(std::string::npos, captured_[1].text.find(":VERBOSE2:"));
}

TEST_F(LoggingTest, ErrorSuffixAndLastErrorKept) {
  li::PlatformSetLastError(5);
  PLOG(ERROR) << "open";
  ASSERT_EQ(1u, captured_.size());
  std::string message = Message(0);
  EXPECT_EQ(0u, message.find("open: ")) << message;
  EXPECT_NE(std::string::npos, message.find(" (0x5)\n")) << message;
  EXPECT_EQ(std::string::npos, message.find("\r")) << message;
  EXPECT_EQ(5u, GetLastSystemErrorCode());

  // Written nowhere but still formatted: the debug output is the call that
  // disturbs the last error on some systems.
  g_consume = false;
  LoggingSettings settings;
  settings.logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
  BaseInitLoggingImpl(settings);
  li::PlatformSetLastError(87);
  LOG(INFO) << "to the debugger";
  PLOG(WARNING) << "and again";
  EXPECT_EQ(87u, GetLastSystemErrorCode());
}

TEST_F(LoggingTest, CheckOpsPassAndNameBothValues) {
  int a = 1;
  int b = 2;
  CHECK_LT(a, b);
  CHECK_LE(a, a);
  CHECK_GT(b, a);
  CHECK_GE(b, b);
  CHECK_NE(a, b);
  CHECK_EQ(a, 1) << "never evaluated";
  enum class Kind { kOne = 1 };
  CHECK_EQ(Kind::kOne, Kind::kOne);
  EXPECT_TRUE(captured_.empty());

  li::CheckOpResult result = li::CheckEQ(a, b, "a == b");
  ASSERT_TRUE(result.failed());
  EXPECT_EQ("Check failed: a == b (1 vs. 2). ", result.message());
}

TEST_F(LoggingTest, WideTextIsStreamedAsUtf8) {
  const char16* null_text = nullptr;
  LOG(INFO) << u"gr\u00fc\u00df " << string16(u"\u20ac") << null_text << ".";
  ASSERT_EQ(1u, captured_.size());
  EXPECT_EQ("gr\xc3\xbc\xc3\x9f \xe2\x82\xac.\n", Message(0));
}

std::string ReadFile(const std::string& name) {
  std::string contents;
  FILE* file = fopen(name.c_str(), "rb");
  if (!file)
    return contents;
  char buffer[4096];
  size_t size;
  while ((size = fread(buffer, 1, sizeof(buffer), file)) > 0)
    contents.append(buffer, size);
  fclose(file);
  return contents;
}

class LogFileTest : public LoggingTest {
 protected:
  void SetUp() override {
    LoggingTest::SetUp();
    SetLogMessageHandler(nullptr);
    SetLogItems(false, false, false, false);
    name_ = "logging_unittest_" + std::to_string(li::PlatformProcessId());
    first_ = name_ + "_1.log";
    second_ = name_ + "_2.log";
    remove(first_.c_str());
    remove(second_.c_str());
  }
  void TearDown() override {
    LoggingSettings none;
    none.logging_dest = LOG_NONE;
    BaseInitLoggingImpl(none);
    // Set-up without a file keeps the open one; moving to a shared,
    // always empty file releases ours so that it can go.
    LoggingSettings settings;
    settings.log_file = u"logging_unittest_parked.log";
    BaseInitLoggingImpl(settings);
    BaseInitLoggingImpl(none);
    remove(first_.c_str());
    remove(second_.c_str());
    LoggingTest::TearDown();
  }
  bool InitToFile(const std::string& name, uint32_t delete_old) {
    name16_ = UTF8ToUTF16(name);
    LoggingSettings settings;
    settings.log_file = name16_.c_str();
    settings.delete_old = delete_old;
    return BaseInitLoggingImpl(settings);
  }

  std::string name_;
  std::string first_;
  std::string second_;
  string16 name16_;
};

TEST_F(LogFileTest, AppendsOrStartsOverAndReopens) {
  ASSERT_TRUE(InitToFile(first_, DELETE_OLD_LOG_FILE));
  LOG(INFO) << "one";
  const int one_line = __LINE__ - 1;
  ASSERT_TRUE(InitToFile(first_, APPEND_TO_OLD_LOG_FILE));
  LOG(WARNING) << "two";
  const int two_line = __LINE__ - 1;
  EXPECT_EQ("[INFO:logging_unittest.cc(" + std::to_string(one_line) +
                ")] one\n[WARNING:logging_unittest.cc(" +
                std::to_string(two_line) + ")] two\n",
            ReadFile(first_));

  // Re-initialising closes the old file: it can be removed at once.
  ASSERT_TRUE(InitToFile(second_, APPEND_TO_OLD_LOG_FILE));
  EXPECT_EQ(0, remove(first_.c_str()));
  ASSERT_TRUE(InitToFile(second_, DELETE_OLD_LOG_FILE));
  LOG(INFO) << "three";
  EXPECT_NE(std::string::npos, ReadFile(second_).find("] three\n"));

  // With the file alone as destination, errors reach standard error too.
  testing::internal::CaptureStderr();
  LOG(WARNING) << "quiet";
  LOG(ERROR) << "loud";
  const int loud_line = __LINE__ - 1;
  EXPECT_EQ("[ERROR:logging_unittest.cc(" + std::to_string(loud_line) + ")] loud\n",
            testing::internal::GetCapturedStderr());
  EXPECT_NE(std::string::npos, ReadFile(second_).find("] quiet\n[ERROR"));
}

TEST_F(LogFileTest, NoNameMeansDebugLogBesideTheExecutable) {
  std::string beside = UTF16ToUTF8(
      li::LogFileNameBeside(li::PlatformExecutablePath()));
  LoggingSettings settings;
  settings.delete_old = DELETE_OLD_LOG_FILE;
  ASSERT_TRUE(BaseInitLoggingImpl(settings));
  LOG(INFO) << "default";
  EXPECT_NE(std::string::npos, ReadFile(beside).find("] default\n"));
  // Other processes of this executable may log there too: no check.
  ASSERT_TRUE(InitToFile(first_, APPEND_TO_OLD_LOG_FILE));
  remove(beside.c_str());
}

TEST_F(LogFileTest, LinesFromManyThreadsStayWhole) {
  ASSERT_TRUE(InitToFile(first_, DELETE_OLD_LOG_FILE));
  const int kThreads = 6;
  const int kLines = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i)
        LOG(INFO) << "thread " << t << " line " << i << " end";
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  std::string contents = ReadFile(first_);
  int lines = 0;
  size_t start = 0;
  for (size_t end; (end = contents.find('\n', start)) != std::string::npos;
       start = end + 1) {
    std::string line = contents.substr(start, end - start);
    EXPECT_EQ(0u, line.find("[INFO:")) << line;
    EXPECT_EQ(line.size() - 4, line.rfind(" end")) << line;
    ++lines;
  }
  EXPECT_EQ(kThreads * kLines, lines);
  EXPECT_EQ(contents.size(), start);
}

using LoggingDeathTest = LoggingTest;

TEST_F(LoggingDeathTest, FatalEndsTheProcess) {
  SetLogMessageHandler(nullptr);
  EXPECT_DEATH(LOG(FATAL) << "fatal text", "FATAL:logging_unittest.cc.*fatal text");
  EXPECT_DEATH(CHECK(1 + 1 == 3) << "math", "Check failed: 1 \\+ 1 == 3. math");
  int two = 2;
  EXPECT_DEATH(CHECK_EQ(two, 3), "Check failed: two == 3 \\(2 vs. 3\\)");
}

TEST_F(LoggingDeathTest, ConsumingHandlerCannotKeepFatalAlive) {
  // The handler swallows the line; the process still ends.
  EXPECT_BREAKPOINT_DEATH(LOG(FATAL) << "swallowed");
}

// Changes the process for good, so it runs in a child: the file's level
// from "vmodule" decides over the minimum level, and a second set-up is
// refused.
void SetUpVerboseTwice() {
  CommandLine::Init();
  CommandLine::ForCurrentProcess()->AppendSwitchASCII(
      "vmodule", "logging_unittest=3,other=1");
  LoggingSettings settings;
  settings.logging_dest = LOG_NONE;
  BaseInitLoggingImpl(settings);
  SetLogMessageHandler(&CaptureHandler);
  VLOG(1) << "one";
  VLOG(3) << "three";
  VLOG(4) << "four";
  SetLogMessageHandler(nullptr);
  CHECK_EQ(2u, g_captured->size());
  CHECK_EQ(-3, g_captured->back().severity);
  BaseInitLoggingImpl(settings);
}

TEST_F(LoggingDeathTest, VerboseSwitchesTakeEffectOnce) {
  SetLogMessageHandler(nullptr);
  EXPECT_DEATH(SetUpVerboseTwice(), "only once");
}

#if DCHECK_IS_ON()
TEST_F(LoggingDeathTest, DcheckFailsInDebugBuilds) {
  SetLogMessageHandler(nullptr);
  EXPECT_DEATH(DCHECK(false), "Check failed: false");
  EXPECT_DEATH(NOTREACHED(), "Check failed");
}
#else
TEST_F(LoggingTest, DcheckCompiledOutInReleaseBuilds) {
#if defined(__SANITIZE_ADDRESS__)
  ADD_FAILURE() << "The sanitizer build is the one that runs DCHECKs.";
#endif
  g_evaluations = 0;
  DCHECK(Counted() == 0);
  DCHECK_EQ(Counted(), 0);
  NOTREACHED();
  EXPECT_EQ(0, g_evaluations);
}
#endif

}  // namespace
}  // namespace base
