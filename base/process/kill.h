#ifndef BASE_PROCESS_KILL_H_
#define BASE_PROCESS_KILL_H_

#include <windows.h>

namespace base {

enum TerminationStatus {
  TERMINATION_STATUS_NORMAL_TERMINATION = 0,
  TERMINATION_STATUS_ABNORMAL_TERMINATION = 1,
  TERMINATION_STATUS_PROCESS_WAS_KILLED = 2,
  TERMINATION_STATUS_PROCESS_CRASHED = 3,
  TERMINATION_STATUS_STILL_RUNNING = 4,
  TERMINATION_STATUS_OOM = 6,
};

// How `process` ended, or that it still runs. `exit_code` may be null.
TerminationStatus GetTerminationStatus(HANDLE process, int* exit_code);

}  // namespace base

#endif  // BASE_PROCESS_KILL_H_
