#include "base/process/launch.h"

#include <stdlib.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/process/kill.h"
#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"
#include "base/win/startup_information.h"
#include "gtest/gtest.h"

namespace base {

namespace {

using win::OSInfo;

const wchar_t kHandleVariable[] = L"PALVO_TEST_INHERITED_EVENT";

// Child modes: this executable runs one of the disabled tests below, which
// report through the exit code and never return to the test runner.
TEST(LaunchChild, DISABLED_ReportShowWindow) {
  STARTUPINFOW startup = {};
  ::GetStartupInfoW(&startup);
  UINT code = startup.wShowWindow;
  if (startup.dwFlags & STARTF_USESHOWWINDOW)
    code |= 0x100;
  ::ExitProcess(code);
}

TEST(LaunchChild, DISABLED_SignalInheritedEvent) {
  wchar_t value[32] = {};
  if (!::GetEnvironmentVariableW(kHandleVariable, value, 32))
    ::ExitProcess(2);
  HANDLE event = reinterpret_cast<HANDLE>(wcstoull(value, nullptr, 16));
  ::ExitProcess(::SetEvent(event) ? 0 : 3);
}

std::wstring ChildCommand(const wchar_t* test_name) {
  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(L"\"") + path +
         L"\" --gtest_also_run_disabled_tests --gtest_filter=LaunchChild." +
         test_name;
}

DWORD WaitForExitCode(const Process& process) {
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Handle(), 60000));
  DWORD code = 0;
  EXPECT_TRUE(::GetExitCodeProcess(process.Handle(), &code));
  return code;
}

CommandLine CmdLine(const char* command) {
  CommandLine cmdline(FilePath(u"cmd.exe"));
  cmdline.AppendArg("/c");
  cmdline.AppendArg(command);
  return cmdline;
}

class LaunchTest : public testing::Test {
 protected:
  void SetUp() override {
    // A child test runner must not pick its share of tests as a shard.
    for (const wchar_t* name : {L"GTEST_TOTAL_SHARDS", L"GTEST_SHARD_INDEX"})
      ::SetEnvironmentVariableW(name, nullptr);
  }
};

TEST_F(LaunchTest, PrepareShowWindowDesktopAndStandardHandles) {
  LaunchOptions options;
  win::StartupInformation startup(OSInfo::VERSION_WIN10);
  bool inherit = true;
  DWORD flags = 1;
  ASSERT_TRUE(internal::PrepareLaunch(options, OSInfo::VERSION_WIN10, &startup,
                                      &inherit, &flags));
  EXPECT_FALSE(inherit);
  EXPECT_EQ(0u, flags);
  // Shown normally unless asked otherwise, whatever the child's default.
  EXPECT_EQ(static_cast<DWORD>(STARTF_USESHOWWINDOW), startup.startup_info()->dwFlags);
  EXPECT_EQ(SW_SHOW, startup.startup_info()->wShowWindow);
  EXPECT_EQ(nullptr, startup.startup_info()->lpDesktop);

  LaunchOptions hidden;
  hidden.start_hidden = true;
  hidden.empty_desktop_name = true;
  hidden.inherit_handles = true;
  hidden.stdout_handle = reinterpret_cast<HANDLE>(0x44);
  win::StartupInformation hidden_startup(OSInfo::VERSION_WIN10);
  ASSERT_TRUE(internal::PrepareLaunch(hidden, OSInfo::VERSION_WIN10,
                                      &hidden_startup, &inherit, &flags));
  EXPECT_TRUE(inherit);
  const STARTUPINFOW* info = hidden_startup.startup_info();
  EXPECT_EQ(SW_HIDE, info->wShowWindow);
  EXPECT_EQ(static_cast<DWORD>(STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES),
            info->dwFlags);
  ASSERT_NE(nullptr, info->lpDesktop);
  EXPECT_EQ(L'\0', info->lpDesktop[0]);
  EXPECT_EQ(nullptr, info->hStdInput);
  EXPECT_EQ(hidden.stdout_handle, info->hStdOutput);
  EXPECT_EQ(nullptr, info->hStdError);
}

TEST_F(LaunchTest, PrepareJobFlagsDependOnVersion) {
  LaunchOptions options;
  options.job_handle = reinterpret_cast<HANDLE>(0x48);
  const struct {
    OSInfo::Version version;
    bool breakaway;
    DWORD expected;
  } kCases[] = {
      {OSInfo::VERSION_WIN7, false, CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB},
      {OSInfo::VERSION_WIN8, false, CREATE_SUSPENDED},
      {OSInfo::VERSION_WIN10, true, CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB},
  };
  for (const auto& test : kCases) {
    options.force_breakaway_from_job = test.breakaway;
    win::StartupInformation startup(test.version);
    bool inherit = false;
    DWORD flags = 0;
    ASSERT_TRUE(internal::PrepareLaunch(options, test.version, &startup,
                                        &inherit, &flags));
    EXPECT_EQ(test.expected, flags) << test.version;
  }

  LaunchOptions breakaway;
  breakaway.force_breakaway_from_job = true;
  win::StartupInformation startup(OSInfo::VERSION_WIN10);
  bool inherit = false;
  DWORD flags = 0;
  ASSERT_TRUE(internal::PrepareLaunch(breakaway, OSInfo::VERSION_WIN10,
                                      &startup, &inherit, &flags));
  EXPECT_EQ(static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB), flags);
}

TEST_F(LaunchTest, PrepareHandleList) {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(event);
  win::ScopedHandle owner(event);
  std::vector<HANDLE> handles = {event};
  LaunchOptions options;
  options.handles_to_inherit = &handles;

  win::StartupInformation startup(OSInfo::VERSION_WIN10);
  bool inherit = false;
  DWORD flags = 0;
  ASSERT_TRUE(internal::PrepareLaunch(options, OSInfo::VERSION_WIN10, &startup,
                                      &inherit, &flags));
  EXPECT_TRUE(inherit);
  EXPECT_EQ(static_cast<DWORD>(EXTENDED_STARTUPINFO_PRESENT), flags);
  EXPECT_TRUE(startup.HasAttributeList());
  DWORD handle_flags = 0;
  ASSERT_TRUE(::GetHandleInformation(event, &handle_flags));
  EXPECT_TRUE(handle_flags & HANDLE_FLAG_INHERIT);

  // A record that has its list already cannot take another.
  EXPECT_FALSE(internal::PrepareLaunch(options, OSInfo::VERSION_WIN10, &startup,
                                       &inherit, &flags));

  // The plain record of older systems has no room for the list.
  win::StartupInformation old_startup(OSInfo::VERSION_XP);
  EXPECT_EQ(sizeof(STARTUPINFOW), old_startup.startup_info()->cb);
  EXPECT_FALSE(internal::PrepareLaunch(options, OSInfo::VERSION_XP,
                                       &old_startup, &inherit, &flags));
  EXPECT_FALSE(old_startup.HasAttributeList());
  EXPECT_EQ(sizeof(STARTUPINFOEXW), startup.startup_info()->cb);

  // An empty list means nothing is inherited, whatever inherit_handles says.
  std::vector<HANDLE> none;
  LaunchOptions no_handles;
  no_handles.handles_to_inherit = &none;
  no_handles.inherit_handles = true;
  win::StartupInformation plain(OSInfo::VERSION_WIN10);
  ASSERT_TRUE(internal::PrepareLaunch(no_handles, OSInfo::VERSION_WIN10, &plain,
                                      &inherit, &flags));
  EXPECT_FALSE(inherit);
  EXPECT_EQ(0u, flags);
  EXPECT_FALSE(plain.HasAttributeList());
}

TEST(LaunchDeathTest, HandleThatCannotBeInherited) {
  std::vector<HANDLE> handles = {reinterpret_cast<HANDLE>(0x7ffc)};
  LaunchOptions options;
  options.handles_to_inherit = &handles;
  win::StartupInformation startup(OSInfo::VERSION_WIN10);
  bool inherit = false;
  DWORD flags = 0;
  EXPECT_DEATH(internal::PrepareLaunch(options, OSInfo::VERSION_WIN10, &startup,
                                       &inherit, &flags),
               "launch_win.cc.*Check failed: ::SetHandleInformation\\(handle, "
               "HANDLE_FLAG_INHERIT");
}

TEST_F(LaunchTest, ChildSeesShowWindow) {
  LaunchOptions options;
  Process shown = LaunchProcessString(ChildCommand(L"DISABLED_ReportShowWindow"),
                                      options);
  ASSERT_TRUE(shown.IsValid());
  EXPECT_EQ(0x100u | SW_SHOW, WaitForExitCode(shown));

  options.start_hidden = true;
  Process hidden = LaunchProcessString(
      ChildCommand(L"DISABLED_ReportShowWindow"), options);
  ASSERT_TRUE(hidden.IsValid());
  EXPECT_EQ(0x100u | SW_HIDE, WaitForExitCode(hidden));
}

TEST_F(LaunchTest, ChildInheritsOnlyListedHandles) {
  SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
  win::ScopedHandle event(::CreateEventW(&security, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event.IsValid());
  wchar_t value[32];
  swprintf(value, 32, L"%llx",
           static_cast<unsigned long long>(
               reinterpret_cast<uintptr_t>(event.Get())));
  ASSERT_TRUE(::SetEnvironmentVariableW(kHandleVariable, value));

  // An empty list keeps even an inheritable handle in the parent.
  std::vector<HANDLE> none;
  LaunchOptions options;
  options.inherit_handles = true;
  options.handles_to_inherit = &none;
  Process excluded = LaunchProcessString(
      ChildCommand(L"DISABLED_SignalInheritedEvent"), options);
  ASSERT_TRUE(excluded.IsValid());
  EXPECT_EQ(3u, WaitForExitCode(excluded));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(event.Get(), 0));

  std::vector<HANDLE> listed = {event.Get()};
  options.handles_to_inherit = &listed;
  Process included = LaunchProcessString(
      ChildCommand(L"DISABLED_SignalInheritedEvent"), options);
  ASSERT_TRUE(included.IsValid());
  EXPECT_EQ(0u, WaitForExitCode(included));
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(event.Get(), 0));

  ::SetEnvironmentVariableW(kHandleVariable, nullptr);
}

TEST_F(LaunchTest, WaitDirectoryAndStandardOutput) {
  wchar_t temp[MAX_PATH];
  ASSERT_TRUE(::GetTempPathW(MAX_PATH, temp));
  // No trailing separator, as "cd" prints it.
  std::wstring directory(temp);
  while (!directory.empty() && directory.back() == L'\\')
    directory.pop_back();

  SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(::CreatePipe(&read_end, &write_end, &security, 0));
  win::ScopedHandle reader(read_end);
  win::ScopedHandle writer(write_end);
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

  LaunchOptions options;
  options.wait = true;
  options.inherit_handles = true;
  options.current_directory = FilePath(as_u16cstr(directory.c_str()));
  options.stdout_handle = write_end;
  Process process = LaunchProcess(CmdLine("cd"), options);
  ASSERT_TRUE(process.IsValid());
  // Waited for already.
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Handle(), 0));
  writer.Close();

  std::string output;
  char buffer[512];
  DWORD read = 0;
  while (::ReadFile(read_end, buffer, sizeof(buffer), &read, nullptr) && read)
    output.append(buffer, read);
  std::string expected;
  for (wchar_t c : directory)
    expected.push_back(static_cast<char>(c));
  EXPECT_EQ(expected + "\r\n", output);
}

TEST_F(LaunchTest, ChildInJob) {
  win::ScopedHandle job(::CreateJobObjectW(nullptr, nullptr));
  ASSERT_TRUE(job.IsValid());
  LaunchOptions options;
  options.job_handle = job.Get();
  Process process = LaunchProcess(CmdLine("exit 5"), options);
  ASSERT_TRUE(process.IsValid());
  BOOL in_job = FALSE;
  ASSERT_TRUE(::IsProcessInJob(process.Handle(), job.Get(), &in_job));
  EXPECT_TRUE(in_job);
  // Resumed after joining the job, so it runs to its end.
  EXPECT_EQ(5u, WaitForExitCode(process));

  // A handle that is no job: the suspended child is not left behind.
  win::ScopedHandle not_a_job(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  options.job_handle = not_a_job.Get();
  EXPECT_FALSE(LaunchProcess(CmdLine("exit 0"), options).IsValid());
}

TEST_F(LaunchTest, AsUser) {
  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(
      ::GetCurrentProcess(),
      TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &token));
  win::ScopedHandle owned_token(token);
  LaunchOptions options;
  options.as_user = token;
  Process process = LaunchProcess(CmdLine("exit 4"), options);
  ASSERT_TRUE(process.IsValid());
  EXPECT_EQ(4u, WaitForExitCode(process));
}

TEST_F(LaunchTest, FailedLaunch) {
  LaunchOptions options;
  EXPECT_FALSE(LaunchProcessString(L"C:\\no\\such\\program.exe", options).IsValid());
  EXPECT_FALSE(LaunchProcessString(L"", options).IsValid());
  options.current_directory = FilePath(u"C:\\no\\such\\folder");
  EXPECT_FALSE(LaunchProcess(CmdLine("exit 0"), options).IsValid());
}

TEST_F(LaunchTest, GetAppOutput) {
  std::string output;
  EXPECT_TRUE(GetAppOutput(CmdLine("echo hello"), &output));
  EXPECT_EQ("hello\r\n", output);

  // More than one read's worth arrives whole and is appended.
  output = "x";
  EXPECT_TRUE(GetAppOutput(CmdLine("for /l %i in (1,1,300) do @echo line%i"),
                           &output));
  std::string expected = "x";
  for (int i = 1; i <= 300; ++i)
    expected += "line" + std::to_string(i) + "\r\n";
  EXPECT_EQ(expected, output);

  // Exit code 1 reads as killed, which still counts as success.
  output.clear();
  EXPECT_TRUE(GetAppOutput(CmdLine("echo one& exit 1"), &output));
  EXPECT_EQ("one\r\n", output);

  output.clear();
  EXPECT_FALSE(GetAppOutput(CmdLine("echo two& exit 3"), &output));
  EXPECT_EQ("two\r\n", output);

  CommandLine missing(FilePath(u"C:\\no\\such\\program.exe"));
  output.clear();
  EXPECT_FALSE(GetAppOutput(missing, &output));
  EXPECT_TRUE(output.empty());
}

}  // namespace

}  // namespace base
