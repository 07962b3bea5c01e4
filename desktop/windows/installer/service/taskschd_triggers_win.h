#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKSCHD_TRIGGERS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKSCHD_TRIGGERS_WIN_H_

// The Task Scheduler 2.0 trigger interfaces that the toolchain's taskschd.h
// leaves out, declared as the platform documents them.

#include <windows.h>
#include <taskschd.h>

MIDL_INTERFACE("2a9c35da-d357-41f4-bbc1-207ac1b1f3cb")
IBootTrigger : public ITrigger {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
};

MIDL_INTERFACE("72dade38-fae4-4b3e-baf4-5d009af02b1c")
ILogonTrigger : public ITrigger {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR* user) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};

MIDL_INTERFACE("4c8fec3a-c218-4e0c-b23d-629024db91a2")
IRegistrationTrigger : public ITrigger {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
};

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKSCHD_TRIGGERS_WIN_H_
