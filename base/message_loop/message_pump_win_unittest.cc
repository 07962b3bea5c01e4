#include "base/message_loop/message_pump_win.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/message_loop/message_loop_problem.h"
#include "base/message_loop/message_loop_win.h"
#include "base/message_loop/user32_calls_win.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/run_loop.h"
#include "base/tracked_objects.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using internal::GetPumpPlatformCalls;

int64_t ProblemCount(int sample) {
  return LinearHistogram::FactoryGet("Base.MessageLoopProblem", 3, 4)
      ->GetCount(sample);
}

void RunPosted() {
  RunLoop run_loop;
  MessageLoop::current()->task_runner()->PostTask(FROM_HERE,
                                                  run_loop.QuitClosure());
  run_loop.Run();
}

// Takes the pump's pending work messages out of the thread's queue.
std::vector<MSG> TakeWorkMessages() {
  std::vector<MSG> taken;
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, MessagePumpForUI::kMsgHaveWork,
                        MessagePumpForUI::kMsgHaveWork, PM_REMOVE)) {
    taken.push_back(msg);
  }
  return taken;
}

// Swaps one platform call for the life of the object.
template <typename T>
class ScopedCallSwap {
 public:
  ScopedCallSwap(T* slot, T replacement) : slot_(slot), saved_(*slot) {
    *slot = replacement;
  }
  ~ScopedCallSwap() { *slot_ = saved_; }

 private:
  T* slot_;
  T saved_;
};

BOOL WINAPI FailingPostMessage(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

BOOL WINAPI FailingPostQueuedCompletionStatus(HANDLE,
                                              DWORD,
                                              ULONG_PTR,
                                              LPOVERLAPPED) {
  return FALSE;
}

UINT_PTR WINAPI FailingSetTimer(HWND, UINT_PTR, UINT, TIMERPROC) {
  return 0;
}

std::vector<UINT> g_timer_elapses;
UINT_PTR WINAPI RecordingSetTimer(HWND hwnd,
                                  UINT_PTR id,
                                  UINT elapse,
                                  TIMERPROC proc) {
  g_timer_elapses.push_back(elapse);
  return ::SetTimer(hwnd, id, elapse, proc);
}

TEST(MessagePumpForUITest, OneWorkMessageInFlightAtATime) {
  MessagePumpForUI pump;
  for (int i = 0; i < 5; ++i)
    pump.ScheduleWork();
  std::vector<MSG> taken = TakeWorkMessages();
  ASSERT_EQ(1u, taken.size());
  EXPECT_EQ(pump.message_hwnd(), taken[0].hwnd);

  // Dispatched outside a run (as by a foreign modal loop), the message only
  // lets the next wake-up go out.
  ::DispatchMessageW(&taken[0]);
  EXPECT_TRUE(TakeWorkMessages().empty());
  pump.ScheduleWork();
  pump.ScheduleWork();
  EXPECT_EQ(1u, TakeWorkMessages().size());
}

TEST(MessagePumpForUITest, FailedWorkMessagePostIsCountedAndRetried) {
  MessageLoopForUI loop;
  int64_t before = ProblemCount(internal::MESSAGE_POST_ERROR);
  int ran = 0;
  {
    ScopedCallSwap<decltype(&::PostMessageW)> swap(
        &GetPumpPlatformCalls()->post_message, &FailingPostMessage);
    loop.task_runner()->PostTask(FROM_HERE, Bind([&ran] { ++ran; }));
  }
  EXPECT_EQ(before + 1, ProblemCount(internal::MESSAGE_POST_ERROR));
  EXPECT_TRUE(TakeWorkMessages().empty());

  // Nothing is in flight any more, so a later wake-up goes out and the
  // earlier task runs with it.
  RunPosted();
  EXPECT_EQ(1, ran);
}

TEST(MessagePumpForUITest, TimerFailureIsCountedAndDelayedWorkStillRuns) {
  MessageLoopForUI loop;
  int64_t before = ProblemCount(internal::SET_TIMER_ERROR);
  ScopedCallSwap<decltype(&::SetTimer)> swap(
      &GetPumpPlatformCalls()->set_timer, &FailingSetTimer);
  RunLoop run_loop;
  loop.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                      TimeDelta::FromMilliseconds(30));
  run_loop.Run();
  EXPECT_LE(before + 1, ProblemCount(internal::SET_TIMER_ERROR));
}

TEST(MessagePumpForUITest, ShortDelaysGetTheShortestTimer) {
  MessagePumpForUI pump;
  ScopedCallSwap<decltype(&::SetTimer)> swap(
      &GetPumpPlatformCalls()->set_timer, &RecordingSetTimer);
  g_timer_elapses.clear();
  pump.ScheduleDelayedWork(TimeTicks::Now() + TimeDelta::FromMilliseconds(8));
  EXPECT_EQ(std::vector<UINT>{10u}, g_timer_elapses);

  // A time already passed asks for work at once instead of a timer.
  pump.ScheduleDelayedWork(TimeTicks::Now() - TimeDelta::FromSeconds(1));
  EXPECT_EQ(1u, g_timer_elapses.size());
  EXPECT_EQ(1u, TakeWorkMessages().size());
  ::KillTimer(pump.message_hwnd(), reinterpret_cast<UINT_PTR>(&pump));
}

TEST(MessagePumpForUITest, OnlyADelayedTaskThatBecomesTheEarliestMovesTheTimer) {
  MessageLoopForUI loop;
  ScopedCallSwap<decltype(&::SetTimer)> swap(
      &GetPumpPlatformCalls()->set_timer, &RecordingSetTimer);
  g_timer_elapses.clear();
  for (int seconds : {100, 200, 50, 50, 300}) {
    loop.task_runner()->PostDelayedTask(FROM_HERE, Bind([] {}),
                                        TimeDelta::FromSeconds(seconds));
  }
  RunPosted();
  ASSERT_EQ(2u, g_timer_elapses.size());
  EXPECT_GT(g_timer_elapses[0], g_timer_elapses[1]);
}

TEST(MessagePumpForUITest, DispatcherTakesMessagesAndMayEndTheRun) {
  MessageLoopForUI loop;
  class Dispatcher : public MessagePumpDispatcher {
   public:
    uint32_t Dispatch(const MSG& msg) override {
      if (msg.message != WM_APP)
        return POST_DISPATCH_PERFORM_DEFAULT;
      seen.push_back(static_cast<int>(msg.wParam));
      return msg.wParam == 2 ? POST_DISPATCH_QUIT_LOOP : POST_DISPATCH_NONE;
    }
    std::vector<int> seen;
  } dispatcher;
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 1, 0);
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 2, 0);
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 3, 0);
  RunLoop run_loop(&dispatcher);
  run_loop.Run();
  EXPECT_EQ((std::vector<int>{1, 2}), dispatcher.seen);
  MSG msg;
  EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));
  EXPECT_EQ(3u, msg.wParam);
}

constexpr DWORD kTestExceptionCode = 0xE0001234;

LONG WINAPI ExecuteHandlerFilter(EXCEPTION_POINTERS* info) {
  return info->ExceptionRecord->ExceptionCode == kTestExceptionCode
             ? EXCEPTION_EXECUTE_HANDLER
             : EXCEPTION_CONTINUE_SEARCH;
}

// Sets a flag when the closure that owns it is destroyed.
class ReleaseFlag {
 public:
  explicit ReleaseFlag(bool* released) : released_(released) {}
  ~ReleaseFlag() { *released_ = true; }

 private:
  bool* released_;
};

// A foreign loop, run from another window's procedure, dispatches the pump's
// work message to the pump's window; the task it runs raises, directly or
// from a run nested inside it. The installed filter takes the exception and
// the loop must go on: the unwound task and run closed, later tasks running.
TEST(MessagePumpForUITest, LoopGoesOnAfterTheFilterHandledAnException) {
  class RaisingDispatcher : public MessagePumpDispatcher {
   public:
    uint32_t Dispatch(const MSG& msg) override {
      if (msg.message == WM_APP + 1)
        ::RaiseException(kTestExceptionCode, 0, 0, nullptr);
      return POST_DISPATCH_PERFORM_DEFAULT;
    }
  };
  class Window {
   public:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
      if (msg == WM_APP) {
        (*reinterpret_cast<std::function<void()>*>(l))();
        return 0;
      }
      return ::DefWindowProcW(hwnd, msg, w, l);
    }
  };
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &Window::Proc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"PumpExceptionTestWindow";
  ATOM atom = ::RegisterClassExW(&window_class);
  ASSERT_TRUE(atom);
  // Tasks are timed, so that the unwound task's stopwatch is current.
  tracked_objects::ThreadData::Initialize();
  WinProcExceptionFilter previous =
      SetWinProcExceptionFilter(&ExecuteHandlerFilter);

  for (bool from_nested_run : {false, true}) {
    SCOPED_TRACE(from_nested_run ? "raised in a nested run" : "raised in a task");
    MessageLoopForUI loop;
    bool after_raise = false;
    bool released = false;
    RunLoop outer;
    HWND hwnd = ::CreateWindowExW(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr,
                                  window_class.hInstance, nullptr);
    std::function<void()> foreign_loop = [&] {
      loop.task_runner()->PostTask(
          FROM_HERE, Bind(
                         [&](ReleaseFlag*) {
                           if (from_nested_run) {
                             RaisingDispatcher dispatcher;
                             ::PostThreadMessageW(::GetCurrentThreadId(),
                                                  WM_APP + 1, 0, 0);
                             RunLoop(&dispatcher).Run();
                           } else {
                             ::RaiseException(kTestExceptionCode, 0, 0,
                                              nullptr);
                           }
                           after_raise = true;
                         },
                         Owned(new ReleaseFlag(&released))));
      tracked_objects::TaskStopwatch* const stopwatch =
          tracked_objects::TaskStopwatch::Current();
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
      // Back outside any task, in the outer run.
      EXPECT_EQ(stopwatch, tracked_objects::TaskStopwatch::Current());
      EXPECT_TRUE(loop.NestableTasksAllowed());
      EXPECT_EQ(&outer, loop.run_loop());
      outer.Quit();
    };
    ::PostMessageW(hwnd, WM_APP, 0, reinterpret_cast<LPARAM>(&foreign_loop));
    outer.Run();
    EXPECT_FALSE(after_raise);
    EXPECT_TRUE(released);

    ASSERT_TRUE(loop.NestableTasksAllowed());
    bool later_ran = false;
    loop.task_runner()->PostTask(FROM_HERE,
                                 Bind([&later_ran] { later_ran = true; }));
    RunPosted();
    EXPECT_TRUE(later_ran);
    ::DestroyWindow(hwnd);
  }
  ::UnregisterClassW(MAKEINTATOM(atom), window_class.hInstance);
  EXPECT_EQ(&ExecuteHandlerFilter, SetWinProcExceptionFilter(previous));
}

TEST(MessagePumpForUITest, ForgedPumpMessagesAreIgnored) {
  MessageLoopForUI loop;
  HWND hwnd = static_cast<MessagePumpForUI*>(loop.pump())->message_hwnd();
  // Any process can find the window and post to it; none of these names
  // the pump.
  for (WPARAM forged : {WPARAM(0), ~WPARAM(0), WPARAM(0x10000)}) {
    ::PostMessageW(hwnd, WM_TIMER, forged, 0);
    ::PostMessageW(hwnd, MessagePumpForUI::kMsgHaveWork, forged, 0);
  }
  MSG msg;
  while (::PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE))
    ::DispatchMessageW(&msg);
  int ran = 0;
  loop.task_runner()->PostTask(FROM_HERE, Bind([&ran] { ++ran; }));
  RunPosted();
  EXPECT_EQ(1, ran);
}

TEST(MessagePumpForIOTest, FailedCompletionPostIsCountedAndRetried) {
  MessageLoopForIO loop;
  int64_t before = ProblemCount(internal::COMPLETION_POST_ERROR);
  int ran = 0;
  {
    ScopedCallSwap<decltype(&::PostQueuedCompletionStatus)> swap(
        &GetPumpPlatformCalls()->post_queued_completion_status,
        &FailingPostQueuedCompletionStatus);
    loop.task_runner()->PostTask(FROM_HERE, Bind([&ran] { ++ran; }));
  }
  EXPECT_EQ(before + 1, ProblemCount(internal::COMPLETION_POST_ERROR));
  RunPosted();
  EXPECT_EQ(1, ran);
}

// Writes to a temporary file through the loop's port.
class OverlappedFile {
 public:
  OverlappedFile() {
    wchar_t dir[MAX_PATH];
    wchar_t path[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    ::GetTempFileNameW(dir, L"pmp", 0, path);
    file_ = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS,
                          FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE,
                          nullptr);
  }
  ~OverlappedFile() { ::CloseHandle(file_); }
  HANDLE get() const { return file_; }

  // Starts a write whose completion names |context|.
  void Write(MessagePumpForIO::IOContext* context) {
    static const char kData[] = "data";
    BOOL ok = ::WriteFile(file_, kData, sizeof(kData), nullptr,
                          &context->overlapped);
    EXPECT_TRUE(ok || ::GetLastError() == ERROR_IO_PENDING);
  }

 private:
  HANDLE file_;
};

class RecordingHandler : public MessagePumpForIO::IOHandler {
 public:
  RecordingHandler(std::vector<std::string>* log, const std::string& name)
      : log_(log), name_(name) {}
  void OnIOCompleted(MessagePumpForIO::IOContext* context,
                     DWORD bytes_transferred,
                     DWORD error) override {
    log_->push_back(name_ + ":" + std::to_string(bytes_transferred) + ":" +
                    std::to_string(error));
  }

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

TEST(MessagePumpForIOTest, CompletionsForOtherHandlersWaitForThem) {
  MessageLoopForIO loop;
  std::vector<std::string> log;
  RecordingHandler a(&log, "a"), b(&log, "b");
  OverlappedFile file_a, file_b;
  ASSERT_NE(INVALID_HANDLE_VALUE, file_a.get());
  ASSERT_NE(INVALID_HANDLE_VALUE, file_b.get());
  loop.RegisterIOHandler(file_a.get(), &a);
  loop.RegisterIOHandler(file_b.get(), &b);

  MessagePumpForIO::IOContext context_a, context_b1, context_b2;
  file_b.Write(&context_b1);
  // Waiting for a's completions holds b's.
  EXPECT_TRUE(loop.WaitForIOCompletion(5000, &a));
  EXPECT_TRUE(log.empty());
  file_b.Write(&context_b2);
  EXPECT_TRUE(loop.WaitForIOCompletion(5000, &a));
  EXPECT_TRUE(log.empty());
  file_a.Write(&context_a);
  EXPECT_TRUE(loop.WaitForIOCompletion(5000, &a));
  EXPECT_EQ((std::vector<std::string>{"a:5:0"}), log);

  // Held items go out in arrival order before the port is asked again.
  EXPECT_TRUE(loop.WaitForIOCompletion(0, nullptr));
  EXPECT_TRUE(loop.WaitForIOCompletion(0, nullptr));
  EXPECT_EQ((std::vector<std::string>{"a:5:0", "b:5:0", "b:5:0"}), log);
  EXPECT_FALSE(loop.WaitForIOCompletion(0, nullptr));
}

TEST(MessagePumpWinTest, CurrentDelayRoundsUpToWholeMilliseconds) {
  class Probe : public MessagePumpForIO {
   public:
    int DelayFor(TimeTicks when) {
      delayed_work_time_ = when;
      return GetCurrentDelay();
    }
  } probe;
  EXPECT_EQ(-1, probe.DelayFor(TimeTicks()));
  EXPECT_EQ(0, probe.DelayFor(TimeTicks::Now() - TimeDelta::FromSeconds(1)));
  int delay = probe.DelayFor(TimeTicks::Now() + TimeDelta::FromMicroseconds(5500));
  EXPECT_TRUE(delay == 6 || delay == 5) << delay;
  EXPECT_EQ(2147483647, probe.DelayFor(TimeTicks::Max()));
}

}  // namespace
}  // namespace base
