#include "desktop/windows/installer/service/task_scheduler_v2_win.h"

#include <limits>

#include "base/logging.h"
#include "base/time/time.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_variant.h"
#include "desktop/windows/installer/branding.h"
#include "desktop/windows/installer/service/task_scheduler_win.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/service/taskschd_triggers_win.h"

using base::win::ScopedBstr;
using base::win::ScopedVariant;
using Microsoft::WRL::ComPtr;

namespace installer {

namespace {

const CLSID kTaskSchedulerClass = {
    0x0F87369F, 0xA4E5, 0x4CFC, {0xBD, 0x3E, 0x73, 0xE6, 0x15, 0x45, 0x72, 0xDD}};
const IID kTaskServiceInterface = {
    0x2FABA4C7, 0x4DA9, 0x4013, {0x96, 0x97, 0x20, 0xCC, 0x3F, 0xD4, 0x0F, 0x85}};
const IID kRegistrationTriggerInterface = {
    0x4C8FEC3A, 0xC218, 0x4E0C, {0xB2, 0x3D, 0x62, 0x90, 0x24, 0xDB, 0x91, 0xA2}};
const IID kDailyTriggerInterface = {
    0x126C5CD8, 0xB288, 0x41D5, {0x8D, 0xBF, 0xE4, 0x91, 0x44, 0x6A, 0xDC, 0x5C}};
const IID kBootTriggerInterface = {
    0x2A9C35DA, 0xD357, 0x41F4, {0xBB, 0xC1, 0x20, 0x7A, 0xC1, 0xB1, 0xF3, 0xCB}};
const IID kLogonTriggerInterface = {
    0x72DADE38, 0xFAE4, 0x4B3E, {0xBA, 0xF4, 0x5D, 0x00, 0x9A, 0xF0, 0x2B, 0x1C}};
const IID kExecActionInterface = {
    0x4C3D624D, 0xFD6B, 0x49A3, {0xB9, 0xB7, 0x09, 0xCB, 0x3C, 0xD3, 0xF0, 0x47}};

const wchar_t kRunOnceTriggerId[] = L"Run once";
const wchar_t kDailyTriggerId[] = L"Daily run";
const wchar_t kLogonTriggerId[] = L"Logon run";
const wchar_t kLogonDelay[] = L"PT5M";
const wchar_t kDeleteExpiredAfter[] = L"PT0S";
const wchar_t kSystemUser[] = L"SYSTEM";
const wchar_t kAllUsersDescriptor[] = L"D:(A;;GRGX;;;AU)";

// The task list and collections come from the system; a count this large
// means it cannot be trusted.
constexpr LONG kMaxCollectionItems = 100000;

// The run-once task is registered a little ahead so that it expires only
// after its registration trigger has fired.
constexpr int64_t kRunOnceExpirySeconds = 30;

constexpr HRESULT kStatusTaskHasNotRun = 0x41303;

// A BSTR we could not allocate means memory is exhausted; nothing sensible
// can follow.
BSTR Checked(const ScopedBstr& bstr) {
  CHECK(bstr.Get());
  return bstr.Get();
}

// Takes ownership of a BSTR handed out by the system, up to its first
// zero character.
bool TakeBstr(HRESULT hr, BSTR* bstr, std::wstring* text) {
  const bool ok = SUCCEEDED(hr) && *bstr;
  if (ok)
    text->assign(*bstr);
  ::SysFreeString(*bstr);
  *bstr = nullptr;
  return ok;
}

VARIANT EmptyVariant() {
  VARIANT variant;
  ::VariantInit(&variant);
  return variant;
}

VARIANT IndexVariant(LONG index) {
  VARIANT variant = EmptyVariant();
  variant.vt = VT_I4;
  variant.lVal = index;
  return variant;
}

template <typename T>
bool QueryAs(IUnknown* object, const IID& iid, T** out) {
  return SUCCEEDED(object->QueryInterface(iid, reinterpret_cast<void**>(out)));
}

bool ApplySettings(ITaskDefinition* definition, const ScheduledTaskInfo& info) {
  ComPtr<ITaskSettings> settings;
  if (FAILED(definition->get_Settings(settings.GetAddressOf())))
    return false;
  ScopedBstr time_limit(as_wcstr(task_scheduler::ExecutionTimeLimit(info.time_limit_seconds)));
  if (FAILED(settings->put_ExecutionTimeLimit(Checked(time_limit))) ||
      FAILED(settings->put_MultipleInstances(TASK_INSTANCES_IGNORE_NEW)) ||
      FAILED(settings->put_RunOnlyIfNetworkAvailable(
          info.run_only_with_network ? VARIANT_TRUE : VARIANT_FALSE)) ||
      FAILED(settings->put_StopIfGoingOnBatteries(VARIANT_FALSE)) ||
      FAILED(settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE)) ||
      FAILED(settings->put_StartWhenAvailable(VARIANT_TRUE))) {
    return false;
  }
  if (info.mode == TASK_RUN_ONCE) {
    ScopedBstr after(kDeleteExpiredAfter);
    if (FAILED(settings->put_DeleteExpiredTaskAfter(Checked(after))))
      return false;
  }
  return true;
}

bool AddTimeTrigger(ITriggerCollection* triggers,
                    task_scheduler::TimeTrigger kind,
                    const string16& boundary) {
  if (kind == task_scheduler::TIME_TRIGGER_NONE)
    return true;
  ScopedBstr when(as_wcstr(boundary));
  ComPtr<ITrigger> trigger;
  if (kind == task_scheduler::TIME_TRIGGER_ONCE) {
    ComPtr<IRegistrationTrigger> registration;
    ScopedBstr id(kRunOnceTriggerId);
    return SUCCEEDED(triggers->Create(TASK_TRIGGER_REGISTRATION, trigger.GetAddressOf())) &&
           QueryAs(trigger.Get(), kRegistrationTriggerInterface, registration.GetAddressOf()) &&
           SUCCEEDED(registration->put_Id(Checked(id))) &&
           SUCCEEDED(registration->put_EndBoundary(Checked(when)));
  }
  ComPtr<IDailyTrigger> daily;
  ScopedBstr id(kDailyTriggerId);
  return SUCCEEDED(triggers->Create(TASK_TRIGGER_DAILY, trigger.GetAddressOf())) &&
         QueryAs(trigger.Get(), kDailyTriggerInterface, daily.GetAddressOf()) &&
         SUCCEEDED(daily->put_Id(Checked(id))) &&
         SUCCEEDED(daily->put_StartBoundary(Checked(when))) &&
         SUCCEEDED(daily->put_DaysInterval(1));
}

// A task of the computer starts at boot, one of a user at that user's
// logon.
bool AddLogonTrigger(ITriggerCollection* triggers,
                     bool at_boot,
                     const std::wstring& user_name,
                     const string16& boundary) {
  ScopedBstr id(kLogonTriggerId);
  ScopedBstr when(as_wcstr(boundary));
  ScopedBstr delay(kLogonDelay);
  ComPtr<ITrigger> trigger;
  if (at_boot) {
    ComPtr<IBootTrigger> boot;
    return SUCCEEDED(triggers->Create(TASK_TRIGGER_BOOT, trigger.GetAddressOf())) &&
           QueryAs(trigger.Get(), kBootTriggerInterface, boot.GetAddressOf()) &&
           SUCCEEDED(boot->put_Id(Checked(id))) &&
           SUCCEEDED(boot->put_StartBoundary(Checked(when))) &&
           SUCCEEDED(boot->put_Delay(Checked(delay)));
  }
  ComPtr<ILogonTrigger> logon;
  ScopedBstr user(user_name.c_str());
  return SUCCEEDED(triggers->Create(TASK_TRIGGER_LOGON, trigger.GetAddressOf())) &&
         QueryAs(trigger.Get(), kLogonTriggerInterface, logon.GetAddressOf()) &&
         SUCCEEDED(logon->put_Id(Checked(id))) &&
         SUCCEEDED(logon->put_StartBoundary(Checked(when))) &&
         SUCCEEDED(logon->put_UserId(Checked(user))) &&
         SUCCEEDED(logon->put_Delay(Checked(delay)));
}

bool AddExecAction(ITaskDefinition* definition, const base::CommandLine& command) {
  ComPtr<IActionCollection> actions;
  ComPtr<IAction> action;
  ComPtr<IExecAction> exec;
  if (FAILED(definition->get_Actions(actions.GetAddressOf())) ||
      FAILED(actions->Create(TASK_ACTION_EXEC, action.GetAddressOf())) ||
      !QueryAs(action.Get(), kExecActionInterface, exec.GetAddressOf())) {
    return false;
  }
  // Placeholders such as "$(Arg0)" must reach the task as written.
  ScopedBstr path(as_wcstr(command.GetProgram().value()));
  ScopedBstr arguments(as_wcstr(command.GetArgumentsString()));
  return SUCCEEDED(exec->put_Path(Checked(path))) &&
         SUCCEEDED(exec->put_Arguments(Checked(arguments)));
}

bool DefineTask(ITaskDefinition* definition,
                const ScheduledTaskInfo& info,
                const std::wstring& user_name,
                bool highest_run_level) {
  ComPtr<IRegistrationInfo> registration;
  ScopedBstr author(user_name.c_str());
  ScopedBstr description(as_wcstr(info.description));
  if (FAILED(definition->get_RegistrationInfo(registration.GetAddressOf())) ||
      FAILED(registration->put_Author(Checked(author))) ||
      FAILED(registration->put_Description(Checked(description))) ||
      !ApplySettings(definition, info)) {
    return false;
  }

  base::Time start = base::Time::Now();
  if (info.mode == TASK_RUN_ONCE)
    start += base::TimeDelta::FromSeconds(kRunOnceExpirySeconds);
  base::Time::Exploded local;
  start.LocalExplode(&local);
  const string16 boundary = task_scheduler::FormatBoundary(local);

  const task_scheduler::TriggerPlan plan = task_scheduler::PlanTriggers(info);
  ComPtr<ITriggerCollection> triggers;
  if (FAILED(definition->get_Triggers(triggers.GetAddressOf())) ||
      !AddTimeTrigger(triggers.Get(), plan.time, boundary)) {
    return false;
  }
  if (plan.at_logon &&
      !AddLogonTrigger(triggers.Get(), info.all_users > 0, user_name, boundary)) {
    return false;
  }
  if (!AddExecAction(definition, info.command))
    return false;

  if (highest_run_level) {
    ComPtr<IPrincipal> principal;
    if (FAILED(definition->get_Principal(principal.GetAddressOf())) ||
        FAILED(principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST))) {
      return false;
    }
  }
  return true;
}

// The path of the one exec action of |definition|; false when it has any
// other actions or the path cannot be read.
bool GetSoleExecPath(ITaskDefinition* definition, std::wstring* path) {
  ComPtr<IActionCollection> actions;
  LONG count = 0;
  ComPtr<IAction> action;
  TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
  ComPtr<IExecAction> exec;
  if (FAILED(definition->get_Actions(actions.GetAddressOf())) ||
      FAILED(actions->get_Count(&count)) || count != 1 ||
      FAILED(actions->get_Item(1, action.GetAddressOf())) ||
      FAILED(action->get_Type(&type)) || type != TASK_ACTION_EXEC ||
      !QueryAs(action.Get(), kExecActionInterface, exec.GetAddressOf())) {
    return false;
  }
  BSTR raw = nullptr;
  const HRESULT hr = exec->get_Path(&raw);
  return TakeBstr(hr, &raw, path);
}

}  // namespace

TaskSchedulerV2::TaskSchedulerV2() = default;

TaskSchedulerV2::~TaskSchedulerV2() = default;

bool TaskSchedulerV2::Init() {
  ComPtr<ITaskService> service;
  if (FAILED(::CoCreateInstance(kTaskSchedulerClass, nullptr, CLSCTX_INPROC_SERVER,
                                kTaskServiceInterface,
                                reinterpret_cast<void**>(service.GetAddressOf())))) {
    return false;
  }
  return InitWithService(service.Get());
}

bool TaskSchedulerV2::InitWithService(ITaskService* service) {
  service_ = service;
  // Empty arguments: the local computer with the caller's credentials.
  if (FAILED(service_->Connect(EmptyVariant(), EmptyVariant(), EmptyVariant(),
                               EmptyVariant()))) {
    return false;
  }
  ScopedBstr root(L"\\");
  return SUCCEEDED(service_->GetFolder(Checked(root), root_folder_.ReleaseAndGetAddressOf()));
}

bool TaskSchedulerV2::RegisterTask(const ScheduledTaskInfo& info) {
  std::wstring user_name;
  if (!task_scheduler::IsValidTaskId(info.task_id) ||
      !GetCurrentUserNameEx(&user_name, NameSamCompatible))
    return false;
  // TASK_CREATE_OR_UPDATE replaces a task of the same name in one step: a
  // registration that fails leaves the one there is.
  ScopedBstr name_bstr(as_wcstr(GetScheduledTaskName(info.task_id)));

  ComPtr<ITaskDefinition> definition;
  if (FAILED(service_->NewTask(0, definition.GetAddressOf())) ||
      !DefineTask(definition.Get(), info, user_name, IsAdministrator())) {
    return false;
  }

  const bool all_users = info.all_users != 0;
  ScopedVariant user(all_users ? kSystemUser : user_name.c_str());
  ScopedVariant descriptor(L"");
  ComPtr<IRegisteredTask> registered;
  HRESULT hr = root_folder_->RegisterTaskDefinition(
      Checked(name_bstr), definition.Get(), TASK_CREATE_OR_UPDATE, *user.ptr(),
      EmptyVariant(),
      all_users ? TASK_LOGON_SERVICE_ACCOUNT : TASK_LOGON_INTERACTIVE_TOKEN,
      *descriptor.ptr(), registered.GetAddressOf());
  if (FAILED(hr)) {
    LOG(ERROR) << "Failed task registration: " << hr;
    return false;
  }

  if (all_users) {
    ScopedBstr sddl(kAllUsersDescriptor);
    hr = registered->SetSecurityDescriptor(Checked(sddl), 0);
    if (FAILED(hr))
      LOG(ERROR) << "Failed setting SDDL: " << hr;
  }
  // The registration trigger has started the task; it is not kept.
  if (info.mode == TASK_RUN_ONCE)
    root_folder_->DeleteTask(Checked(name_bstr), 0);
  return true;
}

bool TaskSchedulerV2::IsAdministrator() {
  return IsUserAdmin(false);
}

void TaskSchedulerV2::DeleteOrphanedTasks() {
  ComPtr<IRegisteredTaskCollection> tasks;
  LONG count = 0;
  if (FAILED(root_folder_->GetTasks(0, tasks.GetAddressOf())) ||
      FAILED(tasks->get_Count(&count)) || count <= 0) {
    return;
  }
  const std::string product_name = GetProductName();
  const LONG last = count < kMaxCollectionItems ? count : kMaxCollectionItems;
  for (LONG i = 1; i <= last; ++i) {
    ComPtr<IRegisteredTask> task;
    std::wstring name;
    if (FAILED(tasks->get_Item(IndexVariant(i), task.GetAddressOf())) ||
        !ShouldDeleteOrphan(task.Get(), product_name, &name)) {
      continue;
    }
    ScopedBstr name_bstr(name.c_str());
    root_folder_->DeleteTask(Checked(name_bstr), 0);
  }
}

bool TaskSchedulerV2::ShouldDeleteOrphan(IRegisteredTask* task,
                                         const std::string& product_name,
                                         std::wstring* name) {
  BSTR raw = nullptr;
  const HRESULT hr = task->get_Name(&raw);
  if (!TakeBstr(hr, &raw, name) ||
      !task_scheduler::IsOwnTaskName(as_u16cstr(name->c_str()), product_name)) {
    return false;
  }
  VARIANT_BOOL enabled = VARIANT_FALSE;
  ComPtr<ITaskDefinition> definition;
  std::wstring path;
  if (FAILED(task->get_Enabled(&enabled)) || enabled == VARIANT_FALSE ||
      FAILED(task->get_Definition(definition.GetAddressOf())) ||
      !GetSoleExecPath(definition.Get(), &path)) {
    return false;
  }
  return task_scheduler::IsTaskProgramMissing(path.c_str());
}

void TaskSchedulerV2::DeleteTask(const string16& task_id) {
  if (!task_scheduler::IsValidTaskId(task_id))
    return;
  ScopedBstr name(as_wcstr(GetScheduledTaskName(task_id)));
  root_folder_->DeleteTask(Checked(name), 0);
}

void TaskSchedulerV2::SetDailyInterval(const string16& task_id, int days) {
  if (!task_scheduler::IsValidDaysInterval(days))
    return;
  ComPtr<IRegisteredTask> task;
  ComPtr<ITaskDefinition> definition;
  ComPtr<ITriggerCollection> triggers;
  LONG count = 0;
  if (!OpenTask(task_id, &task) ||
      FAILED(task->get_Definition(definition.GetAddressOf())) ||
      FAILED(definition->get_Triggers(triggers.GetAddressOf())) ||
      FAILED(triggers->get_Count(&count))) {
    return;
  }
  const LONG last = count < kMaxCollectionItems ? count : kMaxCollectionItems;
  for (LONG i = 1; i <= last; ++i) {
    ComPtr<ITrigger> trigger;
    TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_EVENT;
    if (FAILED(triggers->get_Item(i, trigger.GetAddressOf())) ||
        FAILED(trigger->get_Type(&type)) || type != TASK_TRIGGER_DAILY) {
      continue;
    }
    ComPtr<IDailyTrigger> daily;
    short current = 0;
    if (!QueryAs(trigger.Get(), kDailyTriggerInterface, daily.GetAddressOf()) ||
        FAILED(daily->get_DaysInterval(&current))) {
      return;
    }
    if (current != days &&
        SUCCEEDED(daily->put_DaysInterval(static_cast<short>(days)))) {
      ScopedVariant descriptor(L"");
      ComPtr<IRegisteredTask> updated;
      ScopedBstr name(as_wcstr(GetScheduledTaskName(task_id)));
      root_folder_->RegisterTaskDefinition(
          Checked(name), definition.Get(), TASK_UPDATE, EmptyVariant(),
          EmptyVariant(), TASK_LOGON_NONE, *descriptor.ptr(),
          updated.GetAddressOf());
    }
    return;
  }
}

void TaskSchedulerV2::SetEnabled(const string16& task_id, bool enabled) {
  ComPtr<IRegisteredTask> task;
  if (OpenTask(task_id, &task))
    task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE);
}

bool TaskSchedulerV2::RunTask(const string16& task_id,
                              const std::vector<string16>& arguments) {
  ComPtr<IRegisteredTask> task;
  if (!OpenTask(task_id, &task))
    return false;
  ScopedVariant parameters;
  if (!arguments.empty()) {
    if (arguments.size() > std::numeric_limits<ULONG>::max())
      return false;
    SAFEARRAY* array = ::SafeArrayCreateVector(
        VT_BSTR, 0, static_cast<ULONG>(arguments.size()));
    if (!array)
      return false;
    // The variant owns the array from here on.
    VARIANT* variant = parameters.Receive();
    variant->vt = VT_ARRAY | VT_BSTR;
    variant->parray = array;
    for (LONG i = 0; i < static_cast<LONG>(arguments.size()); ++i) {
      ScopedBstr argument(as_wcstr(arguments[i]));
      // Copies the string into the array.
      if (FAILED(::SafeArrayPutElement(array, &i, Checked(argument))))
        return false;
    }
  }
  ComPtr<IRunningTask> running;
  return SUCCEEDED(task->Run(*parameters.ptr(), running.GetAddressOf()));
}

ScheduledTaskState TaskSchedulerV2::GetState(const string16& task_id) {
  ComPtr<IRegisteredTask> task;
  if (!OpenTask(task_id, &task))
    return TASK_STATE_NOT_FOUND;
  TASK_STATE state = ::TASK_STATE_UNKNOWN;
  if (FAILED(task->get_State(&state)))
    return TASK_STATE_UNKNOWN;
  return task_scheduler::V2StateFromTaskState(state);
}

base::Time TaskSchedulerV2::GetLastRunTime(const string16& task_id) {
  ComPtr<IRegisteredTask> task;
  DATE date = 0;
  if (!OpenTask(task_id, &task))
    return base::Time();
  const HRESULT hr = task->get_LastRunTime(&date);
  // A task that never ran reports a success code and the zero date
  // (30 December 1899), which is no run at all.
  if (FAILED(hr) || hr == kStatusTaskHasNotRun || date == 0)
    return base::Time();
  SYSTEMTIME local = {};
  if (!::VariantTimeToSystemTime(date, &local))
    return base::Time();
  local.wMilliseconds = 0;
  return task_scheduler::TimeFromLocalSystemTime(local);
}

bool TaskSchedulerV2::OpenTask(const string16& task_id,
                               ComPtr<IRegisteredTask>* task) {
  ScopedBstr name(as_wcstr(GetScheduledTaskName(task_id)));
  return task_scheduler::IsValidTaskId(task_id) && SUCCEEDED(root_folder_->GetTask(Checked(name), task->GetAddressOf()));
}

}  // namespace installer
