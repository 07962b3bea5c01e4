#include "base/win/wmi.h"

#include <wrl/client.h>

#include "base/win/scoped_bstr.h"
#include "base/win/scoped_variant.h"

using Microsoft::WRL::ComPtr;

namespace base {
namespace win {

namespace {

const CLSID kWbemLocatorClass = {
    0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
const IID kWbemLocatorInterface = {
    0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};

bool IntegerValue(const VARIANT& variant, LONG* value) {
  switch (variant.vt) {
    case VT_I4:
      *value = variant.lVal;
      return true;
    case VT_UI4:
      *value = static_cast<LONG>(variant.ulVal);
      return true;
    default:
      return false;
  }
}

}  // namespace

bool CreateLocalWmiConnection(bool set_blanket, IWbemServices** services) {
  ComPtr<IWbemLocator> locator;
  HRESULT hr = ::CoCreateInstance(kWbemLocatorClass, nullptr,
                                  CLSCTX_INPROC_SERVER, kWbemLocatorInterface,
                                  reinterpret_cast<void**>(locator.GetAddressOf()));
  if (FAILED(hr))
    return false;

  ScopedBstr resource(L"ROOT\\CIMV2");
  ComPtr<IWbemServices> wmi_services;
  hr = locator->ConnectServer(resource.Get(), nullptr, nullptr, nullptr, 0,
                              nullptr, nullptr, wmi_services.GetAddressOf());
  if (FAILED(hr))
    return false;

  if (set_blanket) {
    hr = ::CoSetProxyBlanket(wmi_services.Get(), RPC_C_AUTHN_WINNT,
                             RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr))
      return false;
  }
  *services = wmi_services.Detach();
  return true;
}

bool CreateWmiClassMethodObject(IWbemServices* services,
                                const std::wstring& class_name,
                                const std::wstring& method_name,
                                IWbemClassObject** instance) {
  ScopedBstr class_name_bstr(class_name.c_str());
  ComPtr<IWbemClassObject> class_object;
  HRESULT hr = services->GetObject(class_name_bstr.Get(), 0, nullptr,
                                   class_object.GetAddressOf(), nullptr);
  if (FAILED(hr))
    return false;

  ComPtr<IWbemClassObject> params_def;
  hr = class_object->GetMethod(method_name.c_str(), 0,
                               params_def.GetAddressOf(), nullptr);
  if (FAILED(hr) || !params_def)
    return false;

  return SUCCEEDED(params_def->SpawnInstance(0, instance));
}

bool SetWmiClassMethodParameter(IWbemClassObject* class_method,
                                const std::wstring& parameter_name,
                                VARIANT* parameter) {
  return SUCCEEDED(class_method->Put(parameter_name.c_str(), 0, parameter, 0));
}

bool WmiLaunchProcess(const std::wstring& command_line, int* process_id) {
  ComPtr<IWbemServices> services;
  if (!CreateLocalWmiConnection(true, services.GetAddressOf()))
    return false;

  const wchar_t kClassName[] = L"Win32_Process";
  const wchar_t kMethodName[] = L"Create";
  ComPtr<IWbemClassObject> process_create;
  if (!CreateWmiClassMethodObject(services.Get(), kClassName, kMethodName,
                                  process_create.GetAddressOf())) {
    return false;
  }

  ScopedVariant command_line_variant(command_line.c_str());
  if (!SetWmiClassMethodParameter(process_create.Get(), L"CommandLine",
                                  command_line_variant.AsInput())) {
    return false;
  }

  ScopedBstr class_name(kClassName);
  ScopedBstr method_name(kMethodName);
  ComPtr<IWbemClassObject> out_params;
  HRESULT hr = services->ExecMethod(class_name.Get(), method_name.Get(), 0,
                                    nullptr, process_create.Get(),
                                    out_params.GetAddressOf(), nullptr);
  if (FAILED(hr) || !out_params)
    return false;

  ScopedVariant return_value;
  ScopedVariant pid;
  if (FAILED(out_params->Get(L"ReturnValue", 0, return_value.Receive(), nullptr,
                             nullptr)) ||
      FAILED(out_params->Get(L"ProcessId", 0, pid.Receive(), nullptr,
                             nullptr))) {
    return false;
  }
  return internal::WmiLaunchResult(*return_value.ptr(), *pid.ptr(), process_id);
}

namespace internal {

bool WmiLaunchResult(const VARIANT& return_value,
                     const VARIANT& process_id,
                     int* pid) {
  LONG code = 0;
  if (!IntegerValue(return_value, &code) || code != 0)
    return false;
  LONG id = 0;
  if (!IntegerValue(process_id, &id) || id == 0)
    return false;
  if (pid)
    *pid = static_cast<int>(id);
  return true;
}

}  // namespace internal

}  // namespace win
}  // namespace base
