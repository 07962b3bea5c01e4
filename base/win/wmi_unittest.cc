#include "base/win/wmi.h"

#include <wrl/client.h>

#include "base/win/scoped_variant.h"
#include "gtest/gtest.h"

using Microsoft::WRL::ComPtr;

namespace base {
namespace win {

namespace {

class WmiTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  }
  void TearDown() override { ::CoUninitialize(); }
};

// The output parameters of Win32_Process.Create as the service hands them
// back; only Get is used. Wine's objects refuse Put on such an instance.
class FakeCreateResult : public IWbemClassObject {
 public:
  FakeCreateResult(const VARIANT* return_value, const VARIANT* process_id) {
    ::VariantInit(&return_value_);
    ::VariantInit(&process_id_);
    return_value_.vt = VT_NULL;
    process_id_.vt = VT_NULL;
    if (return_value)
      return_value_ = *return_value;
    if (process_id)
      process_id_ = *process_id;
  }

  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name,
                                LONG,
                                VARIANT* value,
                                CIMTYPE*,
                                LONG*) override {
    if (wcscmp(name, L"ReturnValue") == 0)
      return ::VariantCopy(value, &return_value_);
    if (wcscmp(name, L"ProcessId") == 0)
      return ::VariantCopy(value, &process_id_);
    return WBEM_E_NOT_FOUND;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override {
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*,
                                     SAFEARRAY**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*,
                                 LONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EndEnumeration() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(
      LPCWSTR,
      IWbemQualifierSet**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG,
                                              IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**,
                                      IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*,
                                      IWbemClassObject*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**,
                                       IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR,
                                                  IWbemQualifierSet**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override {
    return E_NOTIMPL;
  }

 private:
  VARIANT return_value_;
  VARIANT process_id_;
};

VARIANT IntVariant(LONG value) {
  VARIANT variant;
  ::VariantInit(&variant);
  variant.vt = VT_I4;
  variant.lVal = value;
  return variant;
}

TEST_F(WmiTest, ConnectsAndBuildsMethodParameters) {
  for (bool set_blanket : {false, true}) {
    ComPtr<IWbemServices> services;
    ASSERT_TRUE(CreateLocalWmiConnection(set_blanket, services.GetAddressOf()));
    ASSERT_TRUE(services);

    ComPtr<IWbemClassObject> params;
    ASSERT_TRUE(CreateWmiClassMethodObject(services.Get(), L"Win32_Process",
                                           L"Create", params.GetAddressOf()));
    ScopedVariant command_line(L"cmd.exe /c exit 0");
    EXPECT_TRUE(SetWmiClassMethodParameter(params.Get(), L"CommandLine",
                                           command_line.AsInput()));

    ComPtr<IWbemClassObject> missing;
    EXPECT_FALSE(CreateWmiClassMethodObject(services.Get(), L"No_Such_Class",
                                            L"Create", missing.GetAddressOf()));
    EXPECT_FALSE(CreateWmiClassMethodObject(services.Get(), L"Win32_Process",
                                            L"NoSuchMethod",
                                            missing.GetAddressOf()));
    EXPECT_FALSE(missing);
  }
}

TEST_F(WmiTest, LaunchesProcess) {
  int pid = 0;
  ASSERT_TRUE(WmiLaunchProcess(L"cmd.exe /c exit 0", &pid));
  EXPECT_NE(0, pid);
  EXPECT_NE(static_cast<int>(::GetCurrentProcessId()), pid);
  // The process id is optional.
  EXPECT_TRUE(WmiLaunchProcess(L"cmd.exe /c exit 0", nullptr));
}

TEST_F(WmiTest, LaunchOfMissingProgramFails) {
  int pid = 1234;
  EXPECT_FALSE(WmiLaunchProcess(L"C:\\no\\such\\program.exe", &pid));
  EXPECT_EQ(1234, pid);
}

TEST_F(WmiTest, LaunchResultNeedsZeroReturnValueAndProcessId) {
  VARIANT zero = IntVariant(0);
  VARIANT nine = IntVariant(9);
  VARIANT pid = IntVariant(4321);
  VARIANT text;
  ::VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = nullptr;

  FakeCreateResult success(&zero, &pid);
  int process_id = 0;
  EXPECT_TRUE(internal::ReadWmiLaunchResult(&success, &process_id));
  EXPECT_EQ(4321, process_id);
  EXPECT_TRUE(internal::ReadWmiLaunchResult(&success, nullptr));

  FakeCreateResult refused(&nine, &pid);
  FakeCreateResult no_process(&zero, &zero);
  // Values the service left unset read as null, not as numbers.
  FakeCreateResult no_pid_value(&zero, nullptr);
  FakeCreateResult no_return_value(nullptr, &pid);
  FakeCreateResult text_pid(&zero, &text);
  for (FakeCreateResult* result :
       {&refused, &no_process, &no_pid_value, &no_return_value, &text_pid}) {
    process_id = 7;
    EXPECT_FALSE(internal::ReadWmiLaunchResult(result, &process_id));
    EXPECT_EQ(7, process_id);
  }
}

}  // namespace

}  // namespace win
}  // namespace base
