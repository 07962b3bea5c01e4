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

// Win32_Process.Create may fail now and then under load (Wine answered 8,
// with no process id, about once in a thousand calls), and the launch then
// rightly reports failure; a launch is tried a few times before the test
// calls it broken. That a failure is reported as one is checked below.
bool LaunchWithRetries(int* pid) {
  for (int i = 0; i < 5; ++i) {
    if (WmiLaunchProcess(L"cmd.exe /c exit 0", pid))
      return true;
  }
  return false;
}

TEST_F(WmiTest, LaunchesProcess) {
  int pid = 0;
  ASSERT_TRUE(LaunchWithRetries(&pid));
  EXPECT_NE(0, pid);
  EXPECT_NE(static_cast<int>(::GetCurrentProcessId()), pid);
  // The process id is optional.
  EXPECT_TRUE(LaunchWithRetries(nullptr));
}

TEST_F(WmiTest, LaunchOfMissingProgramFails) {
  int pid = 1234;
  EXPECT_FALSE(WmiLaunchProcess(L"C:\\no\\such\\program.exe", &pid));
  EXPECT_EQ(1234, pid);
}

TEST(WmiLaunchResultTest, NeedsZeroReturnValueAndProcessId) {
  const VARIANT zero = IntVariant(0);
  const VARIANT eight = IntVariant(8);
  const VARIANT pid = IntVariant(4321);
  VARIANT unset;
  ::VariantInit(&unset);
  unset.vt = VT_NULL;
  VARIANT text;
  ::VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = nullptr;

  int process_id = 0;
  EXPECT_TRUE(internal::WmiLaunchResult(zero, pid, &process_id));
  EXPECT_EQ(4321, process_id);
  EXPECT_TRUE(internal::WmiLaunchResult(zero, pid, nullptr));

  const struct {
    const VARIANT& return_value;
    const VARIANT& pid;
  } kFailures[] = {{eight, pid}, {eight, zero}, {zero, zero}, {zero, unset}, {unset, pid},
                   {zero, text}};
  for (const auto& failure : kFailures) {
    process_id = 7;
    EXPECT_FALSE(
        internal::WmiLaunchResult(failure.return_value, failure.pid, &process_id));
    EXPECT_EQ(7, process_id);
  }
}

}  // namespace

}  // namespace win
}  // namespace base
