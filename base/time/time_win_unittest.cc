#include "base/time/time.h"

#include <windows.h>
#include <string.h>
#include <wchar.h>

#include <string>

#include "base/command_line.h"
#include "base/files/test_folder_win.h"
#include "base/message_loop/message_loop.h"
#include "base/process/launch.h"
#include "base/run_loop.h"
#include "gtest/gtest.h"

namespace base {
namespace {

FILETIME MakeFileTime(uint32_t high, uint32_t low) {
  FILETIME ft;
  ft.dwHighDateTime = high;
  ft.dwLowDateTime = low;
  return ft;
}

TEST(TimeWinTest, FromFileTime) {
  EXPECT_TRUE(Time::FromFileTime(MakeFileTime(0, 0)).is_null());
  EXPECT_TRUE(Time::FromFileTime(MakeFileTime(0xFFFFFFFF, 0xFFFFFFFF)).is_max());
  EXPECT_EQ(1, Time::FromFileTime(MakeFileTime(0, 19)).ToInternalValue());
  EXPECT_EQ(int64_t{0x100000000} / 10,
            Time::FromFileTime(MakeFileTime(1, 0)).ToInternalValue());
  // The high bit makes the value negative; it is divided as signed.
  EXPECT_EQ(static_cast<int64_t>(0xFFFFFFFFFFFFFFF6ull) / 10,
            Time::FromFileTime(MakeFileTime(0xFFFFFFFF, 0xFFFFFFF6)).ToInternalValue());
}

TEST(TimeWinTest, ExplodeInUtc) {
  // 2017-03-15 (a Wednesday) 13:14:15.678 UTC.
  const Time time = Time::FromInternalValue(
      (INT64_C(1489583655) * 1000000 + 678000) + Time::kTimeTToMicrosecondsOffset);
  Time::Exploded e;
  time.UTCExplode(&e);
  EXPECT_EQ(2017, e.year);
  EXPECT_EQ(3, e.month);
  EXPECT_EQ(3, e.day_of_week);
  EXPECT_EQ(15, e.day_of_month);
  EXPECT_EQ(13, e.hour);
  EXPECT_EQ(14, e.minute);
  EXPECT_EQ(15, e.second);
  EXPECT_EQ(678, e.millisecond);

  Time::Exploded zero = {};
  Time::FromInternalValue(-1).UTCExplode(&e);
  EXPECT_EQ(0, memcmp(&zero, &e, sizeof(e)));
  // Beyond what SYSTEMTIME holds the system refuses, and every field is 0.
  Time::Max().LocalExplode(&e);
  EXPECT_EQ(0, memcmp(&zero, &e, sizeof(e)));
}

TEST(TimeWinTest, LocalExplodeAndBackAgree) {
  const Time now = Time::FromInternalValue(Time::Now().ToInternalValue() / 1000 * 1000);
  Time::Exploded local;
  now.LocalExplode(&local);
  Time back;
  ASSERT_TRUE(Time::FromLocalExploded(local, &back));
  EXPECT_EQ(now, back);

  Time::Exploded bad = local;
  bad.month = 13;
  Time result = now;
  EXPECT_FALSE(Time::FromLocalExploded(bad, &result));
  EXPECT_TRUE(result.is_null());
}

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length < MAX_PATH ? length : 0);
}

TEST(TimeWinTest, HighResolutionTimerIsCountedAndNeverReported) {
  using time_internal::HighResolutionTimerActivations;
  const uint32_t before = HighResolutionTimerActivations();
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(true));
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(true));
  EXPECT_EQ(before + 2, HighResolutionTimerActivations());
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(false));
  EXPECT_EQ(before + 1, HighResolutionTimerActivations());
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(false));
  EXPECT_EQ(before, HighResolutionTimerActivations());
  if (before == 0) {
    // An unbalanced deactivation does not wrap the count.
    EXPECT_FALSE(Time::ActivateHighResolutionTimer(false));
    EXPECT_EQ(0u, HighResolutionTimerActivations());
  }

  // A loop that waited for a short-delay task leaves the timer as it was
  // found, also when it goes away while switched on.
  {
    MessageLoop loop;
    RunLoop run_loop;
    loop.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                        TimeDelta::FromMilliseconds(20));
    run_loop.Run();
  }
  EXPECT_EQ(before, HighResolutionTimerActivations());

  // The winmm it loaded is the system's, whatever lies beside the
  // executable.
  wchar_t winmm[MAX_PATH] = {};
  ASSERT_TRUE(::GetModuleFileNameW(::GetModuleHandleW(L"winmm.dll"), winmm,
                                   MAX_PATH));
  EXPECT_EQ(0, _wcsicmp((SystemFolder() + L"\\winmm.dll").c_str(), winmm))
      << winmm;
}

TEST(TimeWinTest, WinmmPlantedBesideTheExecutableIsNotLoaded) {
  // A copy of this executable runs the test above with a stranger's
  // winmm.dll beside it.
  TestFolder folder;
  wchar_t self[MAX_PATH];
  ASSERT_TRUE(::GetModuleFileNameW(nullptr, self, MAX_PATH));
  const FilePath copy = folder.path().Append(u"time_test.exe");
  // A copy, not a link: a link to this running executable could not be
  // deleted at the end.
  ASSERT_TRUE(::CopyFileW(self, as_wcstr(copy.value()), TRUE));
  ASSERT_TRUE(::CopyFileW((SystemFolder() + L"\\version.dll").c_str(),
                          as_wcstr(folder.path().Append(u"winmm.dll").value()),
                          TRUE));

  CommandLine child(copy);
  child.AppendSwitchASCII(
      "gtest_filter", "TimeWinTest.HighResolutionTimerIsCountedAndNeverReported");
  // The child runs that test whatever shard this process is.
  for (const wchar_t* name : {L"GTEST_TOTAL_SHARDS", L"GTEST_SHARD_INDEX"})
    ::SetEnvironmentVariableW(name, nullptr);
  std::string output;
  EXPECT_TRUE(GetAppOutput(child, &output));
  EXPECT_NE(std::string::npos, output.find("[  PASSED  ] 1 test.")) << output;
}

TEST(TimeWinTest, TicksAndThreadTicks) {
  const TimeTicks start = TimeTicks::Now();
  Sleep(20);
  const TimeDelta elapsed = TimeTicks::Now() - start;
  EXPECT_GE(elapsed.InMilliseconds(), 10);
  EXPECT_LT(elapsed.InSeconds(), 60);
  if (ThreadTicks::IsSupportedWin()) {
    // Ask until enough time has passed for a measurement.
    double frequency = ThreadTicks::TSCTicksPerSecond();
    for (int i = 0; i < 20 && frequency == 0.0; ++i) {
      Sleep(10);
      frequency = ThreadTicks::TSCTicksPerSecond();
    }
    EXPECT_GT(frequency, 1e6);
    EXPECT_EQ(frequency, ThreadTicks::TSCTicksPerSecond());
  }
}

}  // namespace
}  // namespace base
