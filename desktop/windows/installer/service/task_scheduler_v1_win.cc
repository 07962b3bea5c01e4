#include "desktop/windows/installer/service/task_scheduler_v1_win.h"

#include <aclapi.h>

#include <utility>
#include <vector>

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "desktop/windows/installer/branding.h"
#include "desktop/windows/installer/service/task_scheduler_win.h"
#include "desktop/windows/installer/service/utils.h"

using Microsoft::WRL::ComPtr;

namespace installer {

namespace {

constexpr HRESULT kStatusTaskDisabled = 0x41302;
constexpr HRESULT kStatusTaskHasNotRun = 0x41303;
constexpr DWORD kTaskFlagDisabled = 0x4;

// The enumeration comes from the system; a walk this long means it is
// going round in circles.
constexpr int kMaxEnumeratedTasks = 100000;

// How long a job file that someone else has open is waited for.
constexpr int kJobBusyTries = 80;
constexpr DWORD kJobBusyWaitMs = 25;

// A new job saved this long ago is no one's being made (100 ns units).
constexpr uint64_t kLeftoverJobAge100ns = 60ull * 10 * 1000 * 1000;

// Names and strings handed out by the 1.0 interfaces are COM memory.
struct CoTaskMemDeleter {
  void operator()(void* p) const { ::CoTaskMemFree(p); }
};
typedef std::unique_ptr<wchar_t, CoTaskMemDeleter> ScopedCoTaskString;

// Whether the program file of |task| is gone. False when that cannot be
// told, so that a task is never removed on a read error.
bool IsProgramMissing(ITask* task) {
  wchar_t* raw_name = nullptr;
  if (FAILED(task->GetApplicationName(&raw_name)) || !raw_name)
    return false;
  ScopedCoTaskString name(raw_name);
  return task_scheduler::IsTaskProgramMissing(name.get());
}

}  // namespace

TaskSchedulerV1::TaskSchedulerV1() = default;

TaskSchedulerV1::~TaskSchedulerV1() = default;

bool TaskSchedulerV1::Init() {
  return SUCCEEDED(::CoCreateInstance(
      CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
      IID_ITaskScheduler, reinterpret_cast<void**>(scheduler_.GetAddressOf())));
}

bool TaskSchedulerV1::RegisterTask(const ScheduledTaskInfo& info) {
  std::wstring user_name;
  if (!task_scheduler::IsValidTaskId(info.task_id) ||
      !GetCurrentUserNameEx(&user_name, NameSamCompatible)) {
    return false;
  }
  DeleteLeftoverJobs();

  // The task is made as a fresh job under a name of its own and only then
  // put in place of the old one's name: a failure leaves the old task, and
  // nothing is written into the old job file (another name of it may be
  // someone else's job) or kept from it (its settings, owner and access).
  // The new job is complete and enabled before it takes the name, so that
  // no step after the move can fail and leave the task lost or disabled.
  // Its name is short, so that a task name that fits the scheduler's folder
  // can be registered.
  const std::wstring name = as_wcstr(GetScheduledTaskName(info.task_id));
  const std::wstring new_name = NewJobName();
  std::wstring new_path;
  if (new_name.empty())
    return false;
  if (!MakeJob(new_name, info, user_name, &new_path)) {
    DiscardNewJob(new_name, base::win::ScopedHandle());
    return false;
  }
  const std::wstring path =
      new_path.substr(0, new_path.rfind(L'\\') + 1) + name + L".job";
  // Until it has the task's name the new job is held for deletion: whoever
  // else opens it must then share its deletion, so that it can always be
  // deleted when the move fails; and its access is set through this handle,
  // not by a name someone may have put another file under.
  base::win::ScopedHandle job(OpenNewJob(new_path));
  if (!job.IsValid() ||
      (info.all_users == 1 && info.mode != TASK_RUN_ONCE &&
       !GrantJobFileAccess(job.Get())) ||
      !MoveJobFile(new_path, path)) {
    DiscardNewJob(new_name, std::move(job));
    return false;
  }

  // The job deletes itself once this run is over.
  if (info.mode == TASK_RUN_ONCE)
    RunTask(info.task_id, std::vector<string16>());
  return true;
}

// static
HANDLE TaskSchedulerV1::OpenNewJob(const std::wstring& path) {
  // The scheduler's service may have the job just saved open.
  for (int i = 0; i < kJobBusyTries; ++i) {
    if (i)
      ::Sleep(kJobBusyWaitMs);
    const HANDLE job = ::CreateFileW(
        path.c_str(), DELETE | READ_CONTROL | WRITE_DAC,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (job != INVALID_HANDLE_VALUE)
      return job;
    if (::GetLastError() != ERROR_SHARING_VIOLATION)
      break;
  }
  LOG(ERROR) << "Failed opening the new job " << path << ": " << ::GetLastError();
  return INVALID_HANDLE_VALUE;
}

void TaskSchedulerV1::DiscardNewJob(const std::wstring& name,
                                    base::win::ScopedHandle job) {
  // A new job left enabled would run beside the task.
  if (DeleteWorkItem(name))
    return;
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (job.IsValid() &&
      ::SetFileInformationByHandle(job.Get(), FileDispositionInfo, &disposition,
                                   sizeof(disposition))) {
    return;
  }
  LOG(ERROR) << "Failed deleting the new job " << name << " through its handle: "
             << ::GetLastError();
  // The scheduler reads a job only while no one holds it for deletion.
  job.Close();
  ComPtr<ITask> task;
  DWORD flags = 0;
  if (FAILED(scheduler_->Activate(name.c_str(), IID_ITask,
                                  reinterpret_cast<IUnknown**>(task.GetAddressOf()))) ||
      FAILED(task->GetFlags(&flags)) ||
      FAILED(task->SetFlags(flags | kTaskFlagDisabled)) || !SaveBusyJob(task.Get())) {
    LOG(ERROR) << "Failed disabling the new job " << name;
  }
}

// static
string16 TaskSchedulerV1::NewJobPrefix() {
  // No task name has this shape: each is our product name, " scheduled "
  // and the task id, whatever the id.
  return base::UTF8ToUTF16(GetProductName()) + u" new job ";
}

// static
std::wstring TaskSchedulerV1::NewJobName() {
  GUID guid = {};
  wchar_t text[40] = {};
  if (FAILED(::CoCreateGuid(&guid)) || !::StringFromGUID2(guid, text, 40)) {
    LOG(ERROR) << "Failed making a name for a new job";
    return std::wstring();
  }
  return std::wstring(as_wcstr(NewJobPrefix())) + text;
}

// static
bool TaskSchedulerV1::IsNewJobName(const string16& name) {
  // The prefix and a GUID in braces, as NewJobName makes it.
  const size_t kGuidLength = 38;
  const string16 prefix = NewJobPrefix();
  return name.size() == prefix.size() + kGuidLength &&
         name.compare(0, prefix.size(), prefix) == 0 &&
         name[prefix.size()] == '{' && name.back() == '}';
}

void TaskSchedulerV1::DeleteLeftoverJobs() {
  // A new job left by a registration that never ended is no one's task. One
  // saved within the last minute may be another process's, being made.
  for (const string16& name : ListWorkItems()) {
    if (IsNewJobName(name) && IsOldJob(as_wcstr(name)))
      DeleteWorkItem(as_wcstr(name));
  }
}

std::vector<string16> TaskSchedulerV1::ListWorkItems() {
  std::vector<string16> list;
  ComPtr<IEnumWorkItems> items;
  if (FAILED(scheduler_->Enum(items.GetAddressOf())))
    return list;
  for (int i = 0; i < kMaxEnumeratedTasks; ++i) {
    wchar_t** names = nullptr;
    ULONG fetched = 0;
    if (items->Next(1, &names, &fetched) != S_OK || fetched != 1 || !names)
      break;
    ScopedCoTaskString job(names[0]);
    ::CoTaskMemFree(names);
    if (job)
      list.push_back(task_scheduler::WorkItemNameFromJob(as_u16cstr(job.get())));
  }
  return list;
}

bool TaskSchedulerV1::IsOldJob(const wchar_t* name) {
  ComPtr<ITask> task;
  ComPtr<IPersistFile> file;
  wchar_t* raw_path = nullptr;
  if (FAILED(scheduler_->Activate(name, IID_ITask,
                                  reinterpret_cast<IUnknown**>(task.GetAddressOf()))) ||
      FAILED(task->QueryInterface(IID_IPersistFile,
                                  reinterpret_cast<void**>(file.GetAddressOf()))) ||
      FAILED(file->GetCurFile(&raw_path)) || !raw_path) {
    return false;
  }
  ScopedCoTaskString path(raw_path);
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  FILETIME now = {};
  ::GetSystemTimeAsFileTime(&now);
  if (!::GetFileAttributesExW(path.get(), GetFileExInfoStandard, &data))
    return false;
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return ticks(now) > ticks(data.ftLastWriteTime) &&
         ticks(now) - ticks(data.ftLastWriteTime) >= kLeftoverJobAge100ns;
}

// static
bool TaskSchedulerV1::EnableJob(ITask* task, ScheduledTaskMode mode) {
  return SUCCEEDED(task->SetFlags(task_scheduler::V1TaskFlags(mode))) &&
         SaveBusyJob(task);
}

// static
bool TaskSchedulerV1::SaveBusyJob(ITask* task) {
  ComPtr<IPersistFile> file;
  if (FAILED(task->QueryInterface(IID_IPersistFile,
                                  reinterpret_cast<void**>(file.GetAddressOf())))) {
    return false;
  }
  // The scheduler's service may have the job just saved open.
  for (int i = 0; i < kJobBusyTries; ++i) {
    if (i)
      ::Sleep(kJobBusyWaitMs);
    const HRESULT hr = file->Save(nullptr, TRUE);
    if (hr != HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION))
      return SUCCEEDED(hr);
  }
  return false;
}

bool TaskSchedulerV1::MakeJob(const std::wstring& name,
                              const ScheduledTaskInfo& info,
                              const std::wstring& user_name,
                              std::wstring* path) {
  ComPtr<ITask> task;
  const HRESULT hr = scheduler_->NewWorkItem(
      name.c_str(), CLSID_CTask, IID_ITask,
      reinterpret_cast<IUnknown**>(task.GetAddressOf()));
  if (FAILED(hr)) {
    LOG(ERROR) << "Failed making the work item " << name << ": " << hr;
    return false;
  }
  ComPtr<IPersistFile> file;
  wchar_t* raw_path = nullptr;
  if (!ConfigureTask(task.Get(), info, user_name) ||
      FAILED(task->QueryInterface(IID_IPersistFile,
                                  reinterpret_cast<void**>(file.GetAddressOf()))) ||
      FAILED(file->Save(nullptr, TRUE)) ||
      FAILED(file->GetCurFile(&raw_path)) || !raw_path) {
    LOG(ERROR) << "Failed making the task " << name;
    return false;
  }
  ScopedCoTaskString saved_path(raw_path);
  *path = saved_path.get();
  if (!EnableJob(task.Get(), info.mode)) {
    LOG(ERROR) << "Failed enabling the new job " << name;
    return false;
  }
  return true;
}

// static
bool TaskSchedulerV1::MoveJobFile(const std::wstring& from,
                                  const std::wstring& to) {
  // The scheduler's service (or a scanner) may have a new job or the old
  // one open for a moment.
  DWORD error = ERROR_SUCCESS;
  for (int i = 0; i < kJobBusyTries; ++i) {
    if (i)
      ::Sleep(kJobBusyWaitMs);
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
      return true;
    error = ::GetLastError();
    // Windows answers access denied for a target someone has open.
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)
      break;
  }
  LOG(ERROR) << "Failed putting the task in place of " << to << ": " << error;
  return false;
}

bool TaskSchedulerV1::DeleteWorkItem(const std::wstring& name) {
  HRESULT hr = S_OK;
  for (int i = 0; i < kJobBusyTries; ++i) {
    if (i)
      ::Sleep(kJobBusyWaitMs);
    hr = scheduler_->Delete(name.c_str());
    if (hr != HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION))
      break;
  }
  // One that is gone already is no failure.
  if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
    return true;
  if (FAILED(hr))
    LOG(ERROR) << "Failed deleting the work item " << name << ": " << hr;
  return SUCCEEDED(hr);
}

bool TaskSchedulerV1::ConfigureTask(ITask* task,
                                    const ScheduledTaskInfo& info,
                                    const std::wstring& user_name) {
  // An empty account is the local system account.
  const wchar_t* account = info.all_users == 1 ? L"" : user_name.c_str();
  const string16 program = info.command.GetProgram().value();
  const string16 arguments = info.command.GetArgumentsString();
  if (FAILED(task->SetAccountInformation(account, nullptr)) ||
      FAILED(task->SetApplicationName(as_wcstr(program))) ||
      FAILED(task->SetComment(as_wcstr(info.description))) ||
      FAILED(task->SetCreator(user_name.c_str())) ||
      FAILED(task->SetFlags(task_scheduler::V1TaskFlags(info.mode) |
                            kTaskFlagDisabled)) ||
      FAILED(task->SetMaxRunTime(
          task_scheduler::V1MaxRunTimeMs(info.time_limit_seconds))) ||
      FAILED(task->SetParameters(as_wcstr(arguments)))) {
    return false;
  }

  base::Time::Exploded local;
  base::Time::Now().LocalExplode(&local);

  const task_scheduler::TriggerPlan plan = task_scheduler::PlanTriggers(info);
  if (plan.time == task_scheduler::TIME_TRIGGER_ONCE &&
      !AddTrigger(task, local, TASK_TIME_TRIGGER_ONCE)) {
    return false;
  }
  if (plan.time == task_scheduler::TIME_TRIGGER_DAILY &&
      !AddTrigger(task, local, TASK_TIME_TRIGGER_DAILY)) {
    return false;
  }
  if (plan.at_logon && !AddTrigger(task, local, TASK_EVENT_TRIGGER_AT_LOGON))
    return false;
  return true;
}

// static
bool TaskSchedulerV1::AddTrigger(ITask* task,
                                 const base::Time::Exploded& local,
                                 TASK_TRIGGER_TYPE type) {
  WORD index = 0;
  ComPtr<ITaskTrigger> trigger;
  if (FAILED(task->CreateTrigger(&index, trigger.GetAddressOf())))
    return false;
  TASK_TRIGGER data = {};
  data.cbTriggerSize = sizeof(data);
  data.wBeginYear = static_cast<WORD>(local.year);
  data.wBeginMonth = static_cast<WORD>(local.month);
  data.wBeginDay = static_cast<WORD>(local.day_of_month);
  data.wStartHour = static_cast<WORD>(local.hour);
  data.wStartMinute = static_cast<WORD>(local.minute);
  data.TriggerType = type;
  if (type != TASK_EVENT_TRIGGER_AT_LOGON)
    data.Type.Daily.DaysInterval = 1;
  return SUCCEEDED(trigger->SetTrigger(&data));
}

// static
bool TaskSchedulerV1::SaveTask(ITask* task) {
  ComPtr<IPersistFile> file;
  if (FAILED(task->QueryInterface(IID_IPersistFile,
                                  reinterpret_cast<void**>(file.GetAddressOf())))) {
    return false;
  }
  return SUCCEEDED(file->Save(nullptr, TRUE));
}

// static
bool TaskSchedulerV1::GrantJobFileAccess(HANDLE job) {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID authenticated_users = nullptr;
  if (!::AllocateAndInitializeSid(&nt_authority, 1, SECURITY_AUTHENTICATED_USER_RID,
                                  0, 0, 0, 0, 0, 0, 0, &authenticated_users)) {
    LOG(ERROR) << "Failed making the SID of all users: " << ::GetLastError();
    return false;
  }
  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = ::GetSecurityInfo(job, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, &old_dacl, nullptr, &descriptor);
  if (error == ERROR_SUCCESS) {
    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = GENERIC_READ | GENERIC_EXECUTE;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(authenticated_users);
    PACL new_dacl = nullptr;
    error = ::SetEntriesInAclW(1, &access, old_dacl, &new_dacl);
    if (error == ERROR_SUCCESS) {
      error = ::SetSecurityInfo(job, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, new_dacl, nullptr);
      ::LocalFree(new_dacl);
    }
    ::LocalFree(descriptor);
  }
  ::FreeSid(authenticated_users);
  if (error != ERROR_SUCCESS)
    LOG(ERROR) << "Failed granting all users the new job: " << error;
  return error == ERROR_SUCCESS;
}

void TaskSchedulerV1::DeleteOrphanedTasks() {
  DeleteLeftoverJobs();
  const std::string product_name = GetProductName();
  for (const string16& name : ListWorkItems()) {
    if (!task_scheduler::IsOwnTaskName(name, product_name))
      continue;
    ComPtr<ITask> task;
    if (FAILED(scheduler_->Activate(as_wcstr(name), IID_ITask,
                                    reinterpret_cast<IUnknown**>(task.GetAddressOf())))) {
      continue;
    }
    HRESULT status = S_OK;
    if (FAILED(task->GetStatus(&status)) || status == kStatusTaskDisabled)
      continue;
    if (IsProgramMissing(task.Get()))
      scheduler_->Delete(as_wcstr(name));
  }
}

void TaskSchedulerV1::DeleteTask(const string16& task_id) {
  DeleteLeftoverJobs();
  if (!task_scheduler::IsValidTaskId(task_id))
    return;
  scheduler_->Delete(as_wcstr(GetScheduledTaskName(task_id)));
}

void TaskSchedulerV1::SetDailyInterval(const string16& task_id, int days) {
  if (!task_scheduler::IsValidDaysInterval(days))
    return;
  ComPtr<ITask> task;
  WORD count = 0;
  if (!OpenTask(task_id, &task) || FAILED(task->GetTriggerCount(&count)))
    return;
  for (WORD i = 0; i < count; ++i) {
    ComPtr<ITaskTrigger> trigger;
    TASK_TRIGGER data = {};
    data.cbTriggerSize = sizeof(data);
    if (FAILED(task->GetTrigger(i, trigger.GetAddressOf())) ||
        FAILED(trigger->GetTrigger(&data))) {
      continue;
    }
    if (data.TriggerType != TASK_TIME_TRIGGER_DAILY)
      continue;
    if (data.Type.Daily.DaysInterval != days) {
      data.Type.Daily.DaysInterval = static_cast<WORD>(days);
      if (SUCCEEDED(trigger->SetTrigger(&data)))
        SaveTask(task.Get());
    }
    return;
  }
}

void TaskSchedulerV1::SetEnabled(const string16& task_id, bool enabled) {
  ComPtr<ITask> task;
  DWORD flags = 0;
  if (!OpenTask(task_id, &task) || FAILED(task->GetFlags(&flags)))
    return;
  if (enabled)
    flags &= ~kTaskFlagDisabled;
  else
    flags |= kTaskFlagDisabled;
  if (SUCCEEDED(task->SetFlags(flags)))
    SaveTask(task.Get());
}

bool TaskSchedulerV1::RunTask(const string16& task_id,
                              const std::vector<string16>& arguments) {
  ComPtr<ITask> task;
  return OpenTask(task_id, &task) && SUCCEEDED(task->Run());
}

ScheduledTaskState TaskSchedulerV1::GetState(const string16& task_id) {
  ComPtr<ITask> task;
  if (!OpenTask(task_id, &task))
    return TASK_STATE_NOT_FOUND;
  HRESULT status = S_OK;
  if (FAILED(task->GetStatus(&status)))
    return TASK_STATE_UNKNOWN;
  return task_scheduler::V1StateFromStatus(status);
}

base::Time TaskSchedulerV1::GetLastRunTime(const string16& task_id) {
  ComPtr<ITask> task;
  if (!OpenTask(task_id, &task))
    return base::Time();
  SYSTEMTIME local = {};
  const HRESULT hr = task->GetMostRecentRunTime(&local);
  if (FAILED(hr) || hr == kStatusTaskHasNotRun)
    return base::Time();
  return task_scheduler::TimeFromLocalSystemTime(local);
}

bool TaskSchedulerV1::OpenTask(const string16& task_id, ComPtr<ITask>* task) {
  return task_scheduler::IsValidTaskId(task_id) && SUCCEEDED(scheduler_->Activate(
      as_wcstr(GetScheduledTaskName(task_id)), IID_ITask,
      reinterpret_cast<IUnknown**>(task->GetAddressOf())));
}

}  // namespace installer
