#include <windows.h>

#include <string>

#include "base/logging.h"
#include "base/logging_internal.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string* g_text = nullptr;

bool KeepText(int severity,
              const char* file,
              int line,
              size_t message_start,
              const std::string& text) {
  *g_text = text.substr(message_start);
  return false;
}

class LoggingWinTest : public testing::Test {
 protected:
  void SetUp() override {
    g_text = &text_;
    LoggingSettings settings;
    settings.logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
    BaseInitLoggingImpl(settings);
    SetLogMessageHandler(&KeepText);
  }
  void TearDown() override {
    SetLogMessageHandler(nullptr);
    LoggingSettings settings;
    settings.logging_dest = LOG_NONE;
    BaseInitLoggingImpl(settings);
    g_text = nullptr;
  }

  std::string text_;
};

TEST_F(LoggingWinTest, LastErrorSurvivesEveryDestination) {
  // Some systems' debug output clobbers the last error itself; the logger
  // must hide that from its caller.
  for (DWORD error : {DWORD{0}, DWORD{ERROR_FILE_NOT_FOUND}, DWORD{0xDEAD}}) {
    ::SetLastError(error);
    LOG(INFO) << "info";
    EXPECT_EQ(error, ::GetLastError());
    LOG(ERROR) << "error";
    EXPECT_EQ(error, ::GetLastError());
    PLOG(WARNING) << "plog";
    EXPECT_EQ(error, ::GetLastError());
  }
}

TEST_F(LoggingWinTest, SystemErrorText) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  PLOG(ERROR) << "open";
  ASSERT_GT(text_.size(), 12u);
  EXPECT_EQ(0u, text_.find("open: ")) << text_;
  EXPECT_EQ(text_.size() - 7, text_.find(" (0x5)\n")) << text_;
  EXPECT_EQ(std::string::npos, text_.find('\r')) << text_;
  EXPECT_NE(' ', text_[6]) << text_;

  // A code the system has no text for reports the lookup's own failure.
  EXPECT_EQ("Error (0x13D) while retrieving error. (0x2345678)",
            SystemErrorCodeToString(0x2345678));
}

TEST_F(LoggingWinTest, WideStringsAndExecutableFolder) {
  const wchar_t* null_text = nullptr;
  LOG(INFO) << L"caf\u00e9" << std::wstring(L" \u20ac") << null_text;
  EXPECT_EQ("caf\xc3\xa9 \xe2\x82\xac\n", text_);

  string16 exe = logging_internal::PlatformExecutablePath();
  ASSERT_GT(exe.size(), 4u);
  EXPECT_EQ(u".exe", exe.substr(exe.size() - 4));
  string16 log_file = logging_internal::LogFileNameBeside(exe);
  EXPECT_EQ(exe.substr(0, exe.rfind(u'\\') + 1) + u"debug.log", log_file);
}

TEST(LoggingWinDeathTest, FatalEndsWithBreakpoint) {
  // Without a debugger the breakpoint ends the process with its code.
  EXPECT_EXIT(LOG(FATAL) << "stop", testing::ExitedWithCode(0x80000003),
              "FATAL.*stop");
}

}  // namespace
}  // namespace base
