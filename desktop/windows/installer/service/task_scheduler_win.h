#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_WIN_H_

#include <windows.h>

#include "base/time/time.h"

namespace installer {
namespace task_scheduler {

// Local calendar fields to a Time; the null Time when they are invalid.
base::Time TimeFromLocalSystemTime(const SYSTEMTIME& local);

// Whether the program a task runs is gone. Only "not found" answers count:
// a share that is unreachable for a moment or a file we may not read keep
// the task, and are logged. Environment variables in |program| are expanded.
bool IsTaskProgramMissing(const wchar_t* program);

}  // namespace task_scheduler
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_WIN_H_
