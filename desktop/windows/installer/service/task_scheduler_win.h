#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_WIN_H_

#include <windows.h>

#include <string>

#include "base/time/time.h"

namespace installer {
namespace task_scheduler {

// The process's user as "DOMAIN\user"; false when the system cannot say.
bool GetUserNameSamCompatible(std::wstring* name);

// Whether the process's own token is a member of BUILTIN\Administrators.
bool IsProcessUserAdmin();

// Local calendar fields to a Time; the null Time when they are invalid.
base::Time TimeFromLocalSystemTime(const SYSTEMTIME& local);

}  // namespace task_scheduler
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_WIN_H_
