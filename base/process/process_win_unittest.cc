#include "base/process/process.h"

#include <utility>

#include "base/process/kill.h"
#include "gtest/gtest.h"

namespace base {

namespace {

// Starts "cmd.exe /c <command>" directly, so that these tests stand apart
// from the launch code; the caller owns the returned handle.
HANDLE StartCmd(const wchar_t* command, DWORD flags = 0) {
  wchar_t buffer[256];
  swprintf(buffer, 256, L"cmd.exe /c %ls", command);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, buffer, nullptr, nullptr, FALSE, flags,
                        nullptr, nullptr, &startup, &info)) {
    return nullptr;
  }
  ::CloseHandle(info.hThread);
  return info.hProcess;
}

// Runs the command to its end and reports how it ended.
TerminationStatus StatusOfCmd(const wchar_t* command, int* exit_code) {
  HANDLE process = StartCmd(command);
  EXPECT_TRUE(process);
  if (!process)
    return TERMINATION_STATUS_STILL_RUNNING;
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process, INFINITE));
  TerminationStatus status = GetTerminationStatus(process, exit_code);
  ::CloseHandle(process);
  return status;
}

TEST(ProcessTest, OwnsHandleAndMovesIt) {
  Process empty;
  EXPECT_FALSE(empty.IsValid());
  EXPECT_EQ(nullptr, empty.Handle());

  HANDLE handle = StartCmd(L"exit 0");
  ASSERT_TRUE(handle);
  const DWORD pid = ::GetProcessId(handle);
  Process process(handle);
  EXPECT_TRUE(process.IsValid());
  EXPECT_EQ(handle, process.Handle());
  EXPECT_EQ(pid, process.Pid());

  Process moved(std::move(process));
  EXPECT_FALSE(process.IsValid());
  EXPECT_EQ(handle, moved.Handle());

  Process assigned;
  assigned = std::move(moved);
  EXPECT_FALSE(moved.IsValid());
  EXPECT_EQ(pid, assigned.Pid());
  assigned = std::move(assigned);
  EXPECT_EQ(handle, assigned.Handle());

  // Assigning over an owner closes what it held.
  assigned = Process();
  EXPECT_FALSE(assigned.IsValid());
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(handle, &flags));
}

TEST(ProcessTest, CurrentProcess) {
  Process current = Process::Current();
  EXPECT_TRUE(current.IsValid());
  EXPECT_EQ(::GetCurrentProcess(), current.Handle());
  EXPECT_EQ(::GetCurrentProcessId(), current.Pid());

  Process moved;
  moved = std::move(current);
  EXPECT_TRUE(moved.IsValid());
  EXPECT_EQ(::GetCurrentProcessId(), moved.Pid());
  EXPECT_FALSE(current.IsValid());
  EXPECT_EQ(nullptr, current.Handle());
}

TEST(ProcessDeathTest, PseudoHandleIsRefused) {
  EXPECT_DEATH(Process process(::GetCurrentProcess()),
               "process_win.cc.*Check failed: handle != ::GetCurrentProcess\\(\\)");
}

TEST(TerminationStatusTest, ExitCodes) {
  const struct {
    const wchar_t* command;
    TerminationStatus status;
    DWORD exit_code;
  } kCases[] = {
      {L"exit 0", TERMINATION_STATUS_NORMAL_TERMINATION, 0},
      // Exit code 1 is what TerminateProcess callers use, so it counts as
      // killed even when the program chose it.
      {L"exit 1", TERMINATION_STATUS_PROCESS_WAS_KILLED, 1},
      {L"exit 1073807364", TERMINATION_STATUS_PROCESS_WAS_KILLED, 0x40010004},
      {L"exit -1073741510", TERMINATION_STATUS_PROCESS_WAS_KILLED, 0xC000013A},
      {L"exit -1073740972", TERMINATION_STATUS_PROCESS_WAS_KILLED, 0xC0000354},
      {L"exit -536870904", TERMINATION_STATUS_OOM, 0xE0000008},
      {L"exit 7012", TERMINATION_STATUS_OOM, 7012},
      {L"exit 2", TERMINATION_STATUS_PROCESS_CRASHED, 2},
      {L"exit -1073741819", TERMINATION_STATUS_PROCESS_CRASHED, 0xC0000005},
  };
  for (const auto& test : kCases) {
    int exit_code = -1;
    EXPECT_EQ(test.status, StatusOfCmd(test.command, &exit_code))
        << test.command;
    EXPECT_EQ(test.exit_code, static_cast<DWORD>(exit_code)) << test.command;
  }
  // The exit code is optional.
  EXPECT_EQ(TERMINATION_STATUS_OOM, StatusOfCmd(L"exit 7012", nullptr));
}

TEST(TerminationStatusTest, RunningAndKilledProcess) {
  HANDLE process = StartCmd(L"exit 0", CREATE_SUSPENDED);
  ASSERT_TRUE(process);
  int exit_code = -1;
  EXPECT_EQ(TERMINATION_STATUS_STILL_RUNNING,
            GetTerminationStatus(process, &exit_code));
  EXPECT_EQ(static_cast<int>(WAIT_TIMEOUT), exit_code);
  EXPECT_EQ(TERMINATION_STATUS_STILL_RUNNING,
            GetTerminationStatus(process, nullptr));

  ASSERT_TRUE(::TerminateProcess(process, 1));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process, INFINITE));
  EXPECT_EQ(TERMINATION_STATUS_PROCESS_WAS_KILLED,
            GetTerminationStatus(process, &exit_code));
  EXPECT_EQ(1, exit_code);
  ::CloseHandle(process);
}

TEST(TerminationStatusTest, EndedWithTheStillActiveCode) {
  int exit_code = -1;
  EXPECT_EQ(TERMINATION_STATUS_ABNORMAL_TERMINATION,
            StatusOfCmd(L"exit 259", &exit_code));
  // Left as the caller had it.
  EXPECT_EQ(-1, exit_code);
}

TEST(TerminationStatusTest, UnreadableProcess) {
  int exit_code = -1;
  EXPECT_EQ(TERMINATION_STATUS_NORMAL_TERMINATION,
            GetTerminationStatus(nullptr, &exit_code));
  EXPECT_EQ(0, exit_code);
  EXPECT_EQ(TERMINATION_STATUS_NORMAL_TERMINATION,
            GetTerminationStatus(nullptr, nullptr));
}

}  // namespace

}  // namespace base
