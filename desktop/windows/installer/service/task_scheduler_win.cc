#include "desktop/windows/installer/service/task_scheduler_win.h"

#include <memory>
#include <vector>

#include "base/logging.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/profile_path.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/service/task_scheduler_v1_win.h"
#include "desktop/windows/installer/service/task_scheduler_v2_win.h"

namespace installer {

// static
std::unique_ptr<TaskScheduler> TaskScheduler::Create() {
  if (base::win::GetVersion() >= base::win::OSInfo::VERSION_VISTA)
    return std::unique_ptr<TaskScheduler>(new TaskSchedulerV2());
  return std::unique_ptr<TaskScheduler>(new TaskSchedulerV1());
}

namespace task_scheduler {

namespace {

// The longest path the file functions take.
constexpr DWORD kMaxExpandedProgram = 32768;

}  // namespace

base::Time TimeFromLocalSystemTime(const SYSTEMTIME& local) {
  base::Time::Exploded exploded = {};
  exploded.year = local.wYear;
  exploded.month = local.wMonth;
  exploded.day_of_week = local.wDayOfWeek;
  exploded.day_of_month = local.wDay;
  exploded.hour = local.wHour;
  exploded.minute = local.wMinute;
  exploded.second = local.wSecond;
  exploded.millisecond = local.wMilliseconds;
  base::Time time;
  if (!base::Time::FromLocalExploded(exploded, &time))
    return base::Time();
  return time;
}

bool IsTaskProgramMissing(const wchar_t* task_program) {
  // The scheduler expands environment variables in the program's path.
  std::vector<wchar_t> expanded(kMaxExpandedProgram);
  const DWORD length = ::ExpandEnvironmentStringsW(task_program, expanded.data(),
                                                   kMaxExpandedProgram);
  if (!length || length > kMaxExpandedProgram) {
    LOG(ERROR) << "Keeping the task of " << task_program
               << ", its program cannot be expanded: " << ::GetLastError();
    return false;
  }
  const wchar_t* program = expanded.data();
  if (::GetFileAttributesW(program) != INVALID_FILE_ATTRIBUTES)
    return false;
  const DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND)
    return true;
  // A drive or share that this session does not see (a network drive
  // mapped for the user's other logon session, a disk unplugged) tells
  // nothing about the program.
  if (error == ERROR_PATH_NOT_FOUND) {
    const string16 root = GetVolumeRoot(base::FilePath(as_u16cstr(program)));
    if (!root.empty() &&
        ::GetFileAttributesW(as_wcstr(root)) != INVALID_FILE_ATTRIBUTES) {
      return true;
    }
  }
  LOG(ERROR) << "Keeping the task of " << program
             << ", its program cannot be checked: " << error;
  return false;
}

}  // namespace task_scheduler
}  // namespace installer
