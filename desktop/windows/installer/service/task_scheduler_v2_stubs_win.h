#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_STUBS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_STUBS_WIN_H_

// For tests: in-process stand-ins of the Task Scheduler 2.0 interfaces.
// Each stub refuses every call; a test's fake derives from it and serves
// the calls it records.

#include <windows.h>
#include <taskschd.h>

#include "desktop/windows/installer/service/taskschd_triggers_win.h"

namespace installer {

// Reference counting and the interfaces a stub answers for.
template <class Interface>
class DispatchStub : public Interface {
 public:
  DispatchStub() = default;
  DispatchStub(const DispatchStub&) = delete;
  DispatchStub& operator=(const DispatchStub&) = delete;
  virtual ~DispatchStub() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(Interface) ||
        Answers(iid)) {
      *out = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0)
      delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 protected:
  // A base interface the stub also answers for (ITrigger, IAction).
  virtual bool Answers(REFIID iid) { return false; }

 private:
  ULONG references_ = 0;
};

// What every trigger interface has of ITrigger, refused.
template <class Interface>
class ITriggerStubBase : public DispatchStub<Interface> {
 public:
  HRESULT STDMETHODCALLTYPE get_Type(TASK_TRIGGER_TYPE2 *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Id(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Id(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Repetition(IRepetitionPattern **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Repetition(IRepetitionPattern *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ExecutionTimeLimit(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ExecutionTimeLimit(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_StartBoundary(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_StartBoundary(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_EndBoundary(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_EndBoundary(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL) override { return E_NOTIMPL; }
};

// ITaskService: every call refused.
class ITaskServiceStub : public DispatchStub<ITaskService> {
 public:
  HRESULT STDMETHODCALLTYPE GetFolder(BSTR, ITaskFolder **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRunningTasks(LONG, IRunningTaskCollection **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NewTask(DWORD, ITaskDefinition **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Connect(VARIANT, VARIANT, VARIANT, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Connected(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TargetServer(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ConnectedUser(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ConnectedDomain(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_HighestVersion(DWORD *) override { return E_NOTIMPL; }
};

// ITaskFolder: every call refused.
class ITaskFolderStub : public DispatchStub<ITaskFolder> {
 public:
  HRESULT STDMETHODCALLTYPE get_Name(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Path(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFolder(BSTR, ITaskFolder **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFolders(LONG, ITaskFolderCollection **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateFolder(BSTR, VARIANT, ITaskFolder **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTask(BSTR, IRegisteredTask **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTasks(LONG, IRegisteredTaskCollection **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteTask(BSTR, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterTask(BSTR, BSTR, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT, IRegisteredTask **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(BSTR, ITaskDefinition *, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT, IRegisteredTask **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG, BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR, LONG) override { return E_NOTIMPL; }
};

// IRegisteredTask: every call refused.
class IRegisteredTaskStub : public DispatchStub<IRegisteredTask> {
 public:
  HRESULT STDMETHODCALLTYPE get_Name(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Path(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_State(TASK_STATE *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Run(VARIANT, IRunningTask **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RunEx(VARIANT, LONG, LONG, BSTR, IRunningTask **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetInstances(LONG, IRunningTaskCollection **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LastRunTime(DATE *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LastTaskResult(LONG *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_NumberOfMissedRuns(LONG *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_NextRunTime(DATE *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Xml(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG, BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR, LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stop(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRunTimes(const LPSYSTEMTIME, const LPSYSTEMTIME, DWORD *, LPSYSTEMTIME *) override { return E_NOTIMPL; }
};

// IRegisteredTaskCollection: every call refused.
class IRegisteredTaskCollectionStub : public DispatchStub<IRegisteredTaskCollection> {
 public:
  HRESULT STDMETHODCALLTYPE get_Count(LONG *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT, IRegisteredTask **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown **) override { return E_NOTIMPL; }
};

// ITaskDefinition: every call refused.
class ITaskDefinitionStub : public DispatchStub<ITaskDefinition> {
 public:
  HRESULT STDMETHODCALLTYPE get_RegistrationInfo(IRegistrationInfo **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RegistrationInfo(IRegistrationInfo *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Triggers(ITriggerCollection **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Triggers(ITriggerCollection *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Settings(ITaskSettings **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Settings(ITaskSettings *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Data(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Data(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Principal(IPrincipal **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Principal(IPrincipal *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Actions(IActionCollection **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Actions(IActionCollection *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_XmlText(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_XmlText(BSTR) override { return E_NOTIMPL; }
};

// IRegistrationInfo: every call refused.
class IRegistrationInfoStub : public DispatchStub<IRegistrationInfo> {
 public:
  HRESULT STDMETHODCALLTYPE get_Description(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Description(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Author(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Author(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Version(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Version(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Date(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Date(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Documentation(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Documentation(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_XmlText(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_XmlText(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_URI(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_URI(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_SecurityDescriptor(VARIANT *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_SecurityDescriptor(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Source(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Source(BSTR) override { return E_NOTIMPL; }
};

// ITaskSettings: every call refused.
class ITaskSettingsStub : public DispatchStub<ITaskSettings> {
 public:
  HRESULT STDMETHODCALLTYPE get_AllowDemandStart(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_AllowDemandStart(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RestartInterval(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RestartInterval(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RestartCount(INT *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RestartCount(INT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_MultipleInstances(TASK_INSTANCES_POLICY *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_MultipleInstances(TASK_INSTANCES_POLICY) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_StopIfGoingOnBatteries(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_StopIfGoingOnBatteries(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_DisallowStartIfOnBatteries(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_DisallowStartIfOnBatteries(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AllowHardTerminate(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_AllowHardTerminate(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_StartWhenAvailable(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_StartWhenAvailable(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_XmlText(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_XmlText(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RunOnlyIfNetworkAvailable(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RunOnlyIfNetworkAvailable(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ExecutionTimeLimit(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ExecutionTimeLimit(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_DeleteExpiredTaskAfter(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_DeleteExpiredTaskAfter(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Priority(INT *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Priority(INT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Compatibility(TASK_COMPATIBILITY *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Compatibility(TASK_COMPATIBILITY) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Hidden(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Hidden(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_IdleSettings(IIdleSettings **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_IdleSettings(IIdleSettings *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RunOnlyIfIdle(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RunOnlyIfIdle(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_WakeToRun(VARIANT_BOOL *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_WakeToRun(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_NetworkSettings(INetworkSettings **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_NetworkSettings(INetworkSettings *) override { return E_NOTIMPL; }
};

// ITriggerCollection: every call refused.
class ITriggerCollectionStub : public DispatchStub<ITriggerCollection> {
 public:
  HRESULT STDMETHODCALLTYPE get_Count(LONG *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Item(LONG, ITrigger **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Create(TASK_TRIGGER_TYPE2, ITrigger **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Remove(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clear() override { return E_NOTIMPL; }
};

// IRegistrationTrigger: every call refused.
class IRegistrationTriggerStub : public ITriggerStubBase<IRegistrationTrigger> {
 public:
  HRESULT STDMETHODCALLTYPE get_Delay(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Delay(BSTR) override { return E_NOTIMPL; }
};

// IDailyTrigger: every call refused.
class IDailyTriggerStub : public ITriggerStubBase<IDailyTrigger> {
 public:
  HRESULT STDMETHODCALLTYPE get_DaysInterval(short *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_DaysInterval(short) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RandomDelay(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RandomDelay(BSTR) override { return E_NOTIMPL; }
};

// IBootTrigger: every call refused.
class IBootTriggerStub : public ITriggerStubBase<IBootTrigger> {
 public:
  HRESULT STDMETHODCALLTYPE get_Delay(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Delay(BSTR) override { return E_NOTIMPL; }
};

// ILogonTrigger: every call refused.
class ILogonTriggerStub : public ITriggerStubBase<ILogonTrigger> {
 public:
  HRESULT STDMETHODCALLTYPE get_Delay(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Delay(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_UserId(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_UserId(BSTR) override { return E_NOTIMPL; }
};

// IActionCollection: every call refused.
class IActionCollectionStub : public DispatchStub<IActionCollection> {
 public:
  HRESULT STDMETHODCALLTYPE get_Count(LONG *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Item(LONG, IAction **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_XmlText(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_XmlText(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Create(TASK_ACTION_TYPE, IAction **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Remove(VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clear() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Context(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Context(BSTR) override { return E_NOTIMPL; }
};

// IExecAction: every call refused.
class IExecActionStub : public DispatchStub<IExecAction> {
 public:
  HRESULT STDMETHODCALLTYPE get_Id(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Id(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Type(TASK_ACTION_TYPE *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Path(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Path(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Arguments(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Arguments(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_WorkingDirectory(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_WorkingDirectory(BSTR) override { return E_NOTIMPL; }
};

// IPrincipal: every call refused.
class IPrincipalStub : public DispatchStub<IPrincipal> {
 public:
  HRESULT STDMETHODCALLTYPE get_Id(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Id(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_DisplayName(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_DisplayName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_UserId(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_UserId(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LogonType(TASK_LOGON_TYPE *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_LogonType(TASK_LOGON_TYPE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_GroupId(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_GroupId(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RunLevel(TASK_RUNLEVEL_TYPE *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_RunLevel(TASK_RUNLEVEL_TYPE) override { return E_NOTIMPL; }
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V2_STUBS_WIN_H_
