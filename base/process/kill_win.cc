#include "base/process/kill.h"

namespace base {

namespace {

// Exit codes of a process ended from outside.
constexpr DWORD kKilledExitCode = 1;
constexpr DWORD kDebuggerTerminatedExitCode = 0x40010004;  // DBG_TERMINATE_PROCESS
constexpr DWORD kControlCExitCode = 0xC000013A;            // STATUS_CONTROL_C_EXIT
constexpr DWORD kDebuggerInactiveExitCode = 0xC0000354;    // STATUS_DEBUGGER_INACTIVE
// Exit codes the allocator uses when memory runs out.
constexpr DWORD kOomExceptionCode = 0xE0000008;
constexpr DWORD kOomExitCode = 7012;

TerminationStatus TerminationStatusFromExitCode(DWORD exit_code) {
  switch (exit_code) {
    case 0:
      return TERMINATION_STATUS_NORMAL_TERMINATION;
    case kKilledExitCode:
    case kDebuggerTerminatedExitCode:
    case kControlCExitCode:
    case kDebuggerInactiveExitCode:
      return TERMINATION_STATUS_PROCESS_WAS_KILLED;
    case kOomExceptionCode:
    case kOomExitCode:
      return TERMINATION_STATUS_OOM;
    default:
      return TERMINATION_STATUS_PROCESS_CRASHED;
  }
}

}  // namespace

TerminationStatus GetTerminationStatus(HANDLE process, int* exit_code) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) {
    if (exit_code)
      *exit_code = 0;
    return TERMINATION_STATUS_NORMAL_TERMINATION;
  }
  if (code == STILL_ACTIVE) {
    // A process may also have ended with the value STILL_ACTIVE itself; the
    // wait tells the two apart.
    if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
      if (exit_code)
        *exit_code = WAIT_TIMEOUT;
      return TERMINATION_STATUS_STILL_RUNNING;
    }
    return TERMINATION_STATUS_ABNORMAL_TERMINATION;
  }
  if (exit_code)
    *exit_code = static_cast<int>(code);
  return TerminationStatusFromExitCode(code);
}

}  // namespace base
