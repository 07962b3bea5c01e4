#include "desktop/windows/installer/service/task_scheduler_win.h"

#define SECURITY_WIN32
#include <security.h>

#include <memory>

#include "base/win/windows_version.h"
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

bool GetUserNameSamCompatible(std::wstring* name) {
  ULONG size = 0;
  if (!::GetUserNameExW(NameSamCompatible, nullptr, &size) &&
      ::GetLastError() != ERROR_MORE_DATA) {
    return false;
  }
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[size + 1]);
  ULONG length = size + 1;
  if (!::GetUserNameExW(NameSamCompatible, buffer.get(), &length))
    return false;
  buffer[size] = L'\0';
  name->assign(buffer.get());
  return true;
}

bool IsProcessUserAdmin() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!::AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  // A null token checks the calling thread's (or the process's) token.
  const bool ok = ::CheckTokenMembership(nullptr, administrators, &member) != 0;
  ::FreeSid(administrators);
  return ok && member;
}

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

}  // namespace task_scheduler
}  // namespace installer
