#include "base/time/time.h"

#include <windows.h>
#include <x86intrin.h>

#include <atomic>

#include "base/cpu.h"
#include "base/scoped_native_library.h"
#include "base/synchronization/lock.h"
#include "base/time/clock_sources.h"

namespace base {

namespace {

int64_t FileTimeToInt64(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) |
                              ft.dwLowDateTime);
}

// Tick sources -----------------------------------------------------------------

std::atomic<int64_t> g_counter_frequency{0};

// winmm is loaded on first use rather than imported: under Wine, merely
// having it loaded makes a process that dies of an unhandled exception hang
// instead of ending, and most processes never need it.
struct WinmmFunctions {
  using TimeGetTime = DWORD(WINAPI*)();
  using TimePeriod = UINT(WINAPI*)(UINT);

  TimeGetTime time_get_time = nullptr;
  TimePeriod time_begin_period = nullptr;
  TimePeriod time_end_period = nullptr;
};

const WinmmFunctions& Winmm() {
  static const WinmmFunctions functions = [] {
    WinmmFunctions f;
    HMODULE winmm = LoadSystemLibrary(L"winmm.dll");
    if (winmm) {
      f.time_get_time = reinterpret_cast<WinmmFunctions::TimeGetTime>(
          reinterpret_cast<void*>(GetProcAddress(winmm, "timeGetTime")));
      f.time_begin_period = reinterpret_cast<WinmmFunctions::TimePeriod>(
          reinterpret_cast<void*>(GetProcAddress(winmm, "timeBeginPeriod")));
      f.time_end_period = reinterpret_cast<WinmmFunctions::TimePeriod>(
          reinterpret_cast<void*>(GetProcAddress(winmm, "timeEndPeriod")));
    }
    return f;
  }();
  return functions;
}

uint32_t ReadTimeGetTime() {
  // The system's own millisecond count, with the same 49.7-day wrap, should
  // winmm be missing.
  const WinmmFunctions& winmm = Winmm();
  return winmm.time_get_time ? winmm.time_get_time() : GetTickCount();
}

time_internal::RolloverCounter g_rollover_counter(&ReadTimeGetTime);

TimeTicks RolloverProtectedNow() {
  return g_rollover_counter.Now();
}

TimeTicks PerformanceCounterNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return TimeTicks::FromInternalValue(time_internal::CounterToMicroseconds(
      now.QuadPart, g_counter_frequency.load(std::memory_order_relaxed)));
}

struct ProcessorClockFacts {
  bool has_non_stop_tsc = false;
  bool amd_with_unreliable_counter = false;
};

ProcessorClockFacts ReadProcessorClockFacts() {
  const CPU cpu;
  ProcessorClockFacts facts;
  facts.has_non_stop_tsc = cpu.has_non_stop_time_stamp_counter();
  facts.amd_with_unreliable_counter = time_internal::IsAmdWithUnreliableCounter(
      cpu.vendor(), cpu.family(), cpu.extended_family());
  return facts;
}

TimeTicks SelectTickSourceAndNow();

using TickSource = TimeTicks (*)();
std::atomic<TickSource> g_tick_source{&SelectTickSourceAndNow};

// Runs on the first TimeTicks::Now. Threads that race here all select the
// same source, so the last store wins harmlessly.
TimeTicks SelectTickSourceAndNow() {
  LARGE_INTEGER frequency;
  const int64_t counts_per_second =
      QueryPerformanceFrequency(&frequency) ? frequency.QuadPart : 0;
  const ProcessorClockFacts cpu = ReadProcessorClockFacts();
  TickSource source = RolloverProtectedNow;
  if (time_internal::ShouldUsePerformanceCounter(counts_per_second, cpu.has_non_stop_tsc,
                                                 cpu.amd_with_unreliable_counter)) {
    source = PerformanceCounterNow;
  }
  g_counter_frequency.store(counts_per_second, std::memory_order_relaxed);
  g_tick_source.store(source);
  return source();
}

// Timer resolution -------------------------------------------------------------

constexpr UINT kTimerPeriodMs = 4;
Lock g_timer_lock;
uint32_t g_timer_activations = 0;

}  // namespace

namespace time_internal {

int64_t SystemTimeMicroseconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return FileTimeToInt64(ft) / 10;
}

uint32_t HighResolutionTimerActivations() {
  AutoLock hold(g_timer_lock);
  return g_timer_activations;
}

}  // namespace time_internal

TimeTicks TimeTicks::Now() {
  return g_tick_source.load()();
}

Time Time::FromFileTime(const FILETIME& ft) {
  if (ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0)
    return Time();
  if (ft.dwLowDateTime == 0xFFFFFFFF && ft.dwHighDateTime == 0xFFFFFFFF)
    return Max();
  return Time(FileTimeToInt64(ft) / 10);
}

bool Time::FromLocalExploded(const Exploded& exploded, Time* time) {
  SYSTEMTIME local = {};
  local.wYear = static_cast<WORD>(exploded.year);
  local.wMonth = static_cast<WORD>(exploded.month);
  local.wDayOfWeek = static_cast<WORD>(exploded.day_of_week);
  local.wDay = static_cast<WORD>(exploded.day_of_month);
  local.wHour = static_cast<WORD>(exploded.hour);
  local.wMinute = static_cast<WORD>(exploded.minute);
  local.wSecond = static_cast<WORD>(exploded.second);
  local.wMilliseconds = static_cast<WORD>(exploded.millisecond);
  SYSTEMTIME utc;
  FILETIME ft;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft)) {
    *time = Time();
    return false;
  }
  *time = Time(FileTimeToInt64(ft) / 10);
  return true;
}

void Time::Explode(bool is_local, Exploded* exploded) const {
  *exploded = Exploded();
  if (us_ < 0)
    return;
  const uint64_t hundreds_of_ns = static_cast<uint64_t>(us_) * 10;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(hundreds_of_ns);
  ft.dwHighDateTime = static_cast<DWORD>(hundreds_of_ns >> 32);
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&ft, &st))
    return;
  if (is_local) {
    SYSTEMTIME utc = st;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &st))
      return;
  }
  exploded->year = st.wYear;
  exploded->month = st.wMonth;
  exploded->day_of_week = st.wDayOfWeek;
  exploded->day_of_month = st.wDay;
  exploded->hour = st.wHour;
  exploded->minute = st.wMinute;
  exploded->second = st.wSecond;
  exploded->millisecond = st.wMilliseconds;
}

bool Time::ActivateHighResolutionTimer(bool activate) {
  AutoLock hold(g_timer_lock);
  if (activate) {
    if (++g_timer_activations == 1 && Winmm().time_begin_period)
      Winmm().time_begin_period(kTimerPeriodMs);
  } else if (g_timer_activations > 0) {
    if (--g_timer_activations == 0 && Winmm().time_end_period)
      Winmm().time_end_period(kTimerPeriodMs);
  }
  return false;
}

// ThreadTicks ------------------------------------------------------------------

bool ThreadTicks::IsSupportedWin() {
  static const bool supported = [] {
    const ProcessorClockFacts cpu = ReadProcessorClockFacts();
    return cpu.has_non_stop_tsc && !cpu.amd_with_unreliable_counter;
  }();
  return supported;
}

double ThreadTicks::TSCTicksPerSecond() {
  static Lock lock;
  static double tsc_ticks_per_second = 0.0;
  static uint64_t tsc_baseline = 0;
  static int64_t counter_baseline = 0;
  static bool baselines_taken = false;

  AutoLock hold(lock);
  if (tsc_ticks_per_second != 0.0)
    return tsc_ticks_per_second;

  // A high priority keeps the two readings close together.
  const HANDLE thread = GetCurrentThread();
  const int previous_priority = GetThreadPriority(thread);
  SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
  LARGE_INTEGER counter;
  if (!baselines_taken) {
    tsc_baseline = __rdtsc();
    QueryPerformanceCounter(&counter);
    counter_baseline = counter.QuadPart;
    baselines_taken = true;
  }
  const uint64_t tsc_now = __rdtsc();
  QueryPerformanceCounter(&counter);
  SetThreadPriority(thread, previous_priority);
  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0)
    return 0.0;

  const double elapsed_seconds =
      static_cast<double>(static_cast<uint64_t>(counter.QuadPart - counter_baseline)) /
      static_cast<double>(frequency.QuadPart);
  // Too short a span gives a poor estimate; the caller asks again later.
  if (elapsed_seconds < 0.05)
    return 0.0;
  tsc_ticks_per_second = static_cast<double>(tsc_now - tsc_baseline) / elapsed_seconds;
  return tsc_ticks_per_second;
}

}  // namespace base
