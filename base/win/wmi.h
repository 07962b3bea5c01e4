#ifndef BASE_WIN_WMI_H_
#define BASE_WIN_WMI_H_

#include <windows.h>
#include <wbemidl.h>

#include <string>

namespace base {
namespace win {

// Connects to the local "ROOT\CIMV2" namespace. With `set_blanket` the
// proxy impersonates the caller on every call. COM must be initialised on
// the calling thread.
bool CreateLocalWmiConnection(bool set_blanket, IWbemServices** services);

// An instance of the input parameters of `method_name` of `class_name`,
// ready for SetWmiClassMethodParameter.
bool CreateWmiClassMethodObject(IWbemServices* services,
                                const std::wstring& class_name,
                                const std::wstring& method_name,
                                IWbemClassObject** instance);

bool SetWmiClassMethodParameter(IWbemClassObject* class_method,
                                const std::wstring& parameter_name,
                                VARIANT* parameter);

// Starts `command_line` through the WMI service, so that the new process is
// neither a child of the caller nor inside its job. `process_id` may be
// null.
bool WmiLaunchProcess(const std::wstring& command_line, int* process_id);

namespace internal {

// The outcome of Win32_Process.Create from its "ReturnValue" and
// "ProcessId" outputs: true when the first is 0 and the second is not.
// Values that are no integers (unset ones read as VT_NULL) fail.
bool WmiLaunchResult(const VARIANT& return_value,
                     const VARIANT& process_id,
                     int* pid);

}  // namespace internal

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_WMI_H_
