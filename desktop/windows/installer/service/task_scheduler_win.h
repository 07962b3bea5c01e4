#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_WIN_H_

#include <windows.h>

#include "base/time/time.h"

namespace installer {
namespace task_scheduler {

// Local calendar fields to a Time; the null Time when they are invalid.
base::Time TimeFromLocalSystemTime(const SYSTEMTIME& local);

}  // namespace task_scheduler
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_WIN_H_
