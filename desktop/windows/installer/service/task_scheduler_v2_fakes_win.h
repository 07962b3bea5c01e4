#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_FAKES_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_FAKES_WIN_H_

// For tests: a Task Scheduler 2.0 library held in memory that records what
// the client gives it, for what Wine's own does not keep.

#include <wrl/client.h>

#include <map>
#include <string>
#include <vector>

#include "desktop/windows/installer/service/task_scheduler_v2_stubs_win.h"

namespace installer {
namespace fake_taskschd {

using Microsoft::WRL::ComPtr;

template <class T, class I>
HRESULT Hand(T* object, I** out) {
  object->AddRef();
  *out = object;
  return S_OK;
}

inline HRESULT HandText(const std::wstring& text, BSTR* out) {
  *out = ::SysAllocString(text.c_str());
  return S_OK;
}

// The fields a test reads of any trigger kind.
struct TriggerRecord {
  TASK_TRIGGER_TYPE2 type;
  std::wstring id, start, end, delay, user;
  short days = 0;
};

inline HRESULT Keep(BSTR text, std::wstring* field) {
  field->assign(text ? text : L"");
  return S_OK;
}

template <class Stub>
class Trigger : public Stub {
 public:
  explicit Trigger(TASK_TRIGGER_TYPE2 type) { record.type = type; }
  HRESULT STDMETHODCALLTYPE get_Type(TASK_TRIGGER_TYPE2* out) override {
    *out = record.type;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Id(BSTR text) override { return Keep(text, &record.id); }
  HRESULT STDMETHODCALLTYPE put_StartBoundary(BSTR text) override {
    return Keep(text, &record.start);
  }
  HRESULT STDMETHODCALLTYPE put_EndBoundary(BSTR text) override {
    return Keep(text, &record.end);
  }
  TriggerRecord record;

 protected:
  bool Answers(REFIID iid) override { return iid == __uuidof(ITrigger); }
};

class DailyTrigger : public Trigger<IDailyTriggerStub> {
 public:
  DailyTrigger() : Trigger(TASK_TRIGGER_DAILY) {}
  HRESULT STDMETHODCALLTYPE get_DaysInterval(short* out) override {
    *out = record.days;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DaysInterval(short value) override {
    record.days = value;
    return S_OK;
  }
};

// Boot and registration triggers take a delay.
template <class Stub, TASK_TRIGGER_TYPE2 kType>
class DelayTrigger : public Trigger<Stub> {
 public:
  DelayTrigger() : Trigger<Stub>(kType) {}
  HRESULT STDMETHODCALLTYPE put_Delay(BSTR text) override {
    return Keep(text, &this->record.delay);
  }
};

class LogonTrigger : public DelayTrigger<ILogonTriggerStub, TASK_TRIGGER_LOGON> {
 public:
  HRESULT STDMETHODCALLTYPE put_UserId(BSTR text) override { return Keep(text, &record.user); }
};

class Triggers : public ITriggerCollectionStub {
 public:
  HRESULT STDMETHODCALLTYPE Create(TASK_TRIGGER_TYPE2 type, ITrigger** out) override {
    switch (type) {
      case TASK_TRIGGER_DAILY:
        return Add(new DailyTrigger(), out);
      case TASK_TRIGGER_BOOT:
        return Add(new DelayTrigger<IBootTriggerStub, TASK_TRIGGER_BOOT>(), out);
      case TASK_TRIGGER_REGISTRATION:
        return Add(new DelayTrigger<IRegistrationTriggerStub, TASK_TRIGGER_REGISTRATION>(),
                   out);
      case TASK_TRIGGER_LOGON:
        return Add(new LogonTrigger(), out);
      default:
        return E_NOTIMPL;
    }
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* out) override {
    *out = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Item(LONG index, ITrigger** out) override {
    if (index < 1 || index > static_cast<LONG>(items_.size()))
      return E_INVALIDARG;
    return Hand(items_[index - 1].Get(), out);
  }
  std::vector<TriggerRecord*> records;

 private:
  template <class T>
  HRESULT Add(T* trigger, ITrigger** out) {
    items_.push_back(ComPtr<ITrigger>(trigger));
    records.push_back(&trigger->record);
    return Hand(trigger, out);
  }
  std::vector<ComPtr<ITrigger>> items_;
};

class ExecAction : public IExecActionStub {
 public:
  HRESULT STDMETHODCALLTYPE get_Type(TASK_ACTION_TYPE* out) override {
    *out = type;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Path(BSTR* out) override { return HandText(path, out); }
  HRESULT STDMETHODCALLTYPE put_Path(BSTR text) override {
    path.assign(text);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Arguments(BSTR text) override {
    arguments.assign(text);
    return S_OK;
  }
  TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
  std::wstring path, arguments;

 protected:
  bool Answers(REFIID iid) override { return iid == __uuidof(IAction); }
};

class Actions : public IActionCollectionStub {
 public:
  HRESULT STDMETHODCALLTYPE Create(TASK_ACTION_TYPE type, IAction** out) override {
    ComPtr<ExecAction> action(new ExecAction());
    action->type = type;
    items.push_back(action);
    return Hand(action.Get(), out);
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* out) override {
    *out = static_cast<LONG>(items.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Item(LONG index, IAction** out) override {
    if (index < 1 || index > static_cast<LONG>(items.size()))
      return E_INVALIDARG;
    return Hand(items[index - 1].Get(), out);
  }
  std::vector<ComPtr<ExecAction>> items;
};

class RegistrationInfo : public IRegistrationInfoStub {
 public:
  HRESULT STDMETHODCALLTYPE put_Author(BSTR text) override {
    author.assign(text);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Description(BSTR text) override {
    description.assign(text);
    return S_OK;
  }
  std::wstring author, description;
};

class Settings : public ITaskSettingsStub {
 public:
  HRESULT STDMETHODCALLTYPE put_ExecutionTimeLimit(BSTR text) override {
    time_limit.assign(text);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_MultipleInstances(TASK_INSTANCES_POLICY value) override {
    instances = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_RunOnlyIfNetworkAvailable(VARIANT_BOOL value) override {
    only_with_network = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_StopIfGoingOnBatteries(VARIANT_BOOL value) override {
    stop_on_batteries = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DisallowStartIfOnBatteries(VARIANT_BOOL value) override {
    disallow_on_batteries = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_StartWhenAvailable(VARIANT_BOOL value) override {
    start_when_available = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DeleteExpiredTaskAfter(BSTR text) override {
    delete_expired_after.assign(text);
    return S_OK;
  }
  std::wstring time_limit, delete_expired_after;
  TASK_INSTANCES_POLICY instances = TASK_INSTANCES_PARALLEL;
  VARIANT_BOOL only_with_network = 7, stop_on_batteries = 7, disallow_on_batteries = 7,
               start_when_available = 7;
};

class Principal : public IPrincipalStub {
 public:
  HRESULT STDMETHODCALLTYPE put_RunLevel(TASK_RUNLEVEL_TYPE value) override {
    run_level = value;
    return S_OK;
  }
  TASK_RUNLEVEL_TYPE run_level = TASK_RUNLEVEL_LUA;
};

class Definition : public ITaskDefinitionStub {
 public:
  Definition()
      : registration(new RegistrationInfo()), settings(new Settings()),
        triggers(new Triggers()), actions(new Actions()), principal(new Principal()) {}
  HRESULT STDMETHODCALLTYPE get_RegistrationInfo(IRegistrationInfo** out) override {
    return Hand(registration.Get(), out);
  }
  HRESULT STDMETHODCALLTYPE get_Settings(ITaskSettings** out) override {
    return Hand(settings.Get(), out);
  }
  HRESULT STDMETHODCALLTYPE get_Triggers(ITriggerCollection** out) override {
    return Hand(triggers.Get(), out);
  }
  HRESULT STDMETHODCALLTYPE get_Actions(IActionCollection** out) override {
    return Hand(actions.Get(), out);
  }
  HRESULT STDMETHODCALLTYPE get_Principal(IPrincipal** out) override {
    return Hand(principal.Get(), out);
  }
  ComPtr<RegistrationInfo> registration;
  ComPtr<Settings> settings;
  ComPtr<Triggers> triggers;
  ComPtr<Actions> actions;
  ComPtr<Principal> principal;
};

class RegisteredTask : public IRegisteredTaskStub {
 public:
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override { return HandText(name, out); }
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* out) override {
    *out = enabled;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL value) override {
    enabled = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition** out) override {
    return Hand(definition.Get(), out);
  }
  HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* out) override {
    *out = state;
    return state_result;
  }
  HRESULT STDMETHODCALLTYPE get_LastRunTime(DATE* out) override {
    *out = last_run;
    return last_run_result;
  }
  HRESULT STDMETHODCALLTYPE Run(VARIANT parameters, IRunningTask** out) override {
    ++runs;
    run_parameters_type = parameters.vt;
    run_arguments.clear();
    if (parameters.vt == (VT_ARRAY | VT_BSTR)) {
      LONG lower = 0, upper = -1;
      ::SafeArrayGetLBound(parameters.parray, 1, &lower);
      ::SafeArrayGetUBound(parameters.parray, 1, &upper);
      run_lower_bound = lower;
      for (LONG i = lower; i <= upper; ++i) {
        BSTR item = nullptr;
        ::SafeArrayGetElement(parameters.parray, &i, &item);
        run_arguments.push_back(item ? item : L"");
        ::SysFreeString(item);
      }
    }
    *out = nullptr;
    return run_result;
  }
  HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR text, LONG flags) override {
    security_descriptor.assign(text);
    return security_descriptor_result;
  }

  std::wstring name;
  ComPtr<Definition> definition;
  VARIANT_BOOL enabled = VARIANT_TRUE;
  TASK_STATE state = ::TASK_STATE_READY;
  HRESULT state_result = S_OK;
  DATE last_run = 0;
  HRESULT last_run_result = S_OK;
  HRESULT security_descriptor_result = S_OK;
  std::wstring security_descriptor;
  int runs = 0;
  HRESULT run_result = S_OK;
  LONG run_lower_bound = -1;
  std::vector<std::wstring> run_arguments;
  VARTYPE run_parameters_type = VT_NULL;
};

class TaskList : public IRegisteredTaskCollectionStub {
 public:
  HRESULT STDMETHODCALLTYPE get_Count(LONG* out) override {
    *out = static_cast<LONG>(items.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IRegisteredTask** out) override {
    if (index.vt != VT_I4 || index.lVal < 1 || index.lVal > static_cast<LONG>(items.size()))
      return E_INVALIDARG;
    return Hand(items[index.lVal - 1].Get(), out);
  }
  std::vector<ComPtr<RegisteredTask>> items;
};

// One call of RegisterTaskDefinition.
struct Registration {
  std::wstring name;
  LONG flags;
  VARTYPE user_type;
  std::wstring user;
  VARTYPE password_type;
  TASK_LOGON_TYPE logon_type;
  VARTYPE descriptor_type;
  std::wstring descriptor;
  ComPtr<Definition> definition;
};

class Folder : public ITaskFolderStub {
 public:
  HRESULT STDMETHODCALLTYPE GetTask(BSTR name, IRegisteredTask** out) override {
    auto found = tasks.find(name);
    if (found == tasks.end())
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    return Hand(found->second.Get(), out);
  }
  HRESULT STDMETHODCALLTYPE GetTasks(LONG flags, IRegisteredTaskCollection** out) override {
    ComPtr<TaskList> list(new TaskList());
    for (const auto& task : tasks)
      list->items.push_back(task.second);
    return Hand(list.Get(), out);
  }
  HRESULT STDMETHODCALLTYPE DeleteTask(BSTR name, LONG flags) override {
    deleted.push_back(name);
    return tasks.erase(name) ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  }
  HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(BSTR name, ITaskDefinition* definition,
                                                   LONG flags, VARIANT user, VARIANT password,
                                                   TASK_LOGON_TYPE logon_type, VARIANT sddl,
                                                   IRegisteredTask** out) override {
    Registration record;
    record.name = name;
    record.flags = flags;
    record.user_type = user.vt;
    if (user.vt == VT_BSTR)
      record.user = user.bstrVal;
    record.password_type = password.vt;
    record.logon_type = logon_type;
    record.definition = static_cast<Definition*>(definition);
    record.descriptor_type = sddl.vt;
    if (sddl.vt == VT_BSTR)
      record.descriptor = sddl.bstrVal;
    registrations.push_back(record);
    if (FAILED(register_result))
      return register_result;
    ComPtr<RegisteredTask> task(new RegisteredTask());
    task->name = name;
    task->definition = record.definition;
    task->security_descriptor_result = descriptor_result;
    tasks[name] = task;
    return Hand(task.Get(), out);
  }

  // Adds a task as if an earlier run had registered it, with one exec
  // action per path.
  RegisteredTask* Add(const std::wstring& name, const std::vector<std::wstring>& paths) {
    ComPtr<RegisteredTask> task(new RegisteredTask());
    task->name = name;
    task->definition = new Definition();
    for (const std::wstring& path : paths) {
      ComPtr<IAction> action;
      task->definition->actions->Create(TASK_ACTION_EXEC, action.GetAddressOf());
      task->definition->actions->items.back()->path = path;
    }
    tasks[name] = task;
    return task.Get();
  }

  std::map<std::wstring, ComPtr<RegisteredTask>> tasks;
  std::vector<Registration> registrations;
  std::vector<std::wstring> deleted;
  HRESULT register_result = S_OK;
  // What SetSecurityDescriptor of the tasks registered from now on gives.
  HRESULT descriptor_result = S_OK;
};

class Service : public ITaskServiceStub {
 public:
  Service() : folder(new Folder()) {}
  HRESULT STDMETHODCALLTYPE Connect(VARIANT, VARIANT, VARIANT, VARIANT) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** out) override {
    if (std::wstring(path) != L"\\")
      return E_INVALIDARG;
    return Hand(folder.Get(), out);
  }
  HRESULT STDMETHODCALLTYPE NewTask(DWORD flags, ITaskDefinition** out) override {
    ComPtr<Definition> definition(new Definition());
    return Hand(definition.Get(), out);
  }
  ComPtr<Folder> folder;
};

}  // namespace fake_taskschd
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_FAKES_WIN_H_
