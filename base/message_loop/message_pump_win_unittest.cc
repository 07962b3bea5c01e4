#include "base/message_loop/message_pump_win.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/message_loop/message_loop_problem.h"
#include "base/message_loop/message_loop_win.h"
#include "base/message_loop/user32_calls_win.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/run_loop.h"
#include "base/test/function_window_win_testsupport.h"
#include "base/test/scoped_log_capture_testsupport.h"
#include "base/threading/simple_thread.h"
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

// Drops whatever the thread's queue holds, from earlier tests too.
void DrainMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
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

// Runs |work| on a thread of its own, as another process would reach the
// pump's window.
class OtherThread : public SimpleThread {
 public:
  explicit OtherThread(std::function<void()> work)
      : SimpleThread("Other"), work_(std::move(work)) {}
  void Run() override { work_(); }

 private:
  std::function<void()> work_;
};

void OnAnotherThread(std::function<void()> work) {
  OtherThread thread(std::move(work));
  ASSERT_TRUE(thread.Start());
  thread.Join();
}

// Ends the run at its first DoWork; notes whether any work was asked for
// inside a message another thread sent.
class QuitAtWork : public MessagePump::Delegate {
 public:
  explicit QuitAtWork(MessagePump* pump) : pump_(pump) {}
  bool DoWork() override {
    NoteSend();
    pump_->Quit();
    return false;
  }
  bool DoDelayedWork(TimeTicks*) override {
    NoteSend();
    return false;
  }
  bool DoIdleWork() override { return false; }

  bool asked_inside_send = false;

 private:
  void NoteSend() {
    asked_inside_send |= ::InSendMessageEx(nullptr) != ISMEX_NOSEND;
  }

  MessagePump* pump_;
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

// Timers set, with their delays, and not stopped.
std::vector<UINT> g_timer_elapses;
std::set<UINT_PTR> g_live_timers;
UINT_PTR WINAPI TrackedSetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  g_timer_elapses.push_back(elapse);
  g_live_timers.insert(id);
  return ::SetTimer(hwnd, id, elapse, proc);
}
BOOL WINAPI TrackedKillTimer(HWND hwnd, UINT_PTR id) {
  g_live_timers.erase(id);
  return ::KillTimer(hwnd, id);
}

TEST(MessagePumpForUITest, OneWorkMessageInFlightAtATime) {
  DrainMessages();
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
  taken = TakeWorkMessages();
  ASSERT_EQ(1u, taken.size());
  ::DispatchMessageW(&taken[0]);

  // A work message without the pump's secret is not its wake-up: taken
  // as one, it would let a second wake-up go out while ours is queued. Nor
  // is a timer message naming the pump's address: served inside the sent
  // message, it would make the sender wait for our tasks.
  DWORD pump_thread = ::GetCurrentThreadId();
  OnAnotherThread([&pump, pump_thread] {
    ::PostMessageW(pump.message_hwnd(), MessagePumpForUI::kMsgHaveWork,
                   reinterpret_cast<WPARAM>(&pump), 0);
    ::SendNotifyMessageW(pump.message_hwnd(), WM_TIMER,
                         reinterpret_cast<WPARAM>(&pump), 0);
    ::PostThreadMessageW(pump_thread, WM_APP, 0, 0);
  });
  pump.ScheduleWork();
  QuitAtWork delegate(&pump);
  pump.Run(&delegate);
  EXPECT_FALSE(delegate.asked_inside_send);
  pump.ScheduleWork();
  EXPECT_EQ(1u, TakeWorkMessages().size());
  DrainMessages();
}

// The failure is counted in the pump whether or not it runs: a post from
// another thread cannot know when the run on the loop's stack ends.
TEST(MessagePumpForUITest, FailedWorkMessagePostIsCountedAndRetried) {
  const struct {
    bool in_run;
    bool from_other_thread;
  } kCases[] = {{false, false}, {false, true}, {true, false}, {true, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "in run " << c.in_run
                                    << " from other thread "
                                    << c.from_other_thread);
    MessageLoopForUI loop;
    auto* pump = static_cast<MessagePumpForUI*>(loop.pump());
    int64_t before = ProblemCount(internal::MESSAGE_POST_ERROR);
    const Time start = Time::Now();
    int ran = 0;
    auto fail_wake_up = [&] {
      ScopedCallSwap<decltype(&::PostMessageW)> swap(
          &GetPumpPlatformCalls()->post_message, &FailingPostMessage);
      // In a run, the loop's queue counts its wake-up as still pending: ask
      // the pump itself.
      std::function<void()> wake = [&] {
        if (c.in_run)
          pump->ScheduleWork();
        else
          loop.task_runner()->PostTask(FROM_HERE, Bind([&ran] { ++ran; }));
      };
      if (c.from_other_thread)
        OnAnotherThread(wake);
      else
        wake();
    };
    if (c.in_run) {
      DrainMessages();
      // Runs once the pump has taken the wake-up the post sent, so that
      // another may go out.
      RunLoop run_loop;
      loop.task_runner()->PostTask(FROM_HERE, Bind([&] {
                                     fail_wake_up();
                                     run_loop.Quit();
                                   }));
      run_loop.Run();
    } else {
      fail_wake_up();
    }
    EXPECT_EQ(before + 1, ProblemCount(internal::MESSAGE_POST_ERROR));
    EXPECT_EQ(1, pump->schedule_work_error_count());
    EXPECT_LE(start, pump->last_schedule_work_error_time());
    EXPECT_TRUE(TakeWorkMessages().empty());
    if (c.in_run)
      continue;
    EXPECT_EQ(0, ran);

    // Nothing is in flight any more, so a later wake-up goes out and the
    // earlier task runs with it.
    RunPosted();
    EXPECT_EQ(1, ran);
  }
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
      &GetPumpPlatformCalls()->set_timer, &TrackedSetTimer);
  g_timer_elapses.clear();
  pump.ScheduleDelayedWork(TimeTicks::Now() + TimeDelta::FromMilliseconds(8));
  EXPECT_EQ(std::vector<UINT>{10u}, g_timer_elapses);

  // A time already passed asks for work at once instead of a timer.
  pump.ScheduleDelayedWork(TimeTicks::Now() - TimeDelta::FromSeconds(1));
  EXPECT_EQ(1u, g_timer_elapses.size());
  EXPECT_EQ(1u, TakeWorkMessages().size());
}

TEST(MessagePumpForUITest, OnlyADelayedTaskThatBecomesTheEarliestMovesTheTimer) {
  MessageLoopForUI loop;
  ScopedCallSwap<decltype(&::SetTimer)> swap(
      &GetPumpPlatformCalls()->set_timer, &TrackedSetTimer);
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

// Serves the thread's messages as a dialog's own loop does, outside the
// pump, until |done| or a generous time has passed; returns |done|.
bool RunForeignModalLoop(const std::function<bool()>& done) {
  const DWORD start = ::GetTickCount();
  constexpr DWORD kLimitMs = 10000;
  while (!done()) {
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
      continue;
    }
    const DWORD spent = ::GetTickCount() - start;
    if (spent >= kLimitMs)
      return false;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, kLimitMs - spent, QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
  }
  return true;
}

// Dispatches what the thread's queue holds, as a task showing a message box
// would: a wake-up taken there finds work refused.
void PumpMessagesInATask() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    ::DispatchMessageW(&msg);
}

// Waits (bounded) until a message sent from another thread is pending for
// this thread, without taking it.
bool WaitForPendingSend() {
  const DWORD start = ::GetTickCount();
  while (!(HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) {
    if (::GetTickCount() - start > 10000)
      return false;
    ::Sleep(1);
  }
  return true;
}

// When armed, the pump's peek that takes its own wake-up starts the sender
// and returns only once its message is pending: the next peek (the
// replacement step's) takes it in, as a send arriving just then would be.
std::function<void()>* g_send_after_wake_up = nullptr;
BOOL WINAPI PeekThenSend(LPMSG msg, HWND hwnd, UINT first, UINT last,
                         UINT flags) {
  BOOL got = ::PeekMessageW(msg, hwnd, first, last, flags);
  if (got && (flags & PM_REMOVE) && g_send_after_wake_up &&
      msg->message == MessagePumpForUI::kMsgHaveWork) {
    std::function<void()>* send = g_send_after_wake_up;
    g_send_after_wake_up = nullptr;
    (*send)();
    EXPECT_TRUE(WaitForPendingSend());
  }
  return got;
}

int g_posts_to_fail = 0;
BOOL WINAPI PostUnlessArmedToFail(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  return g_posts_to_fail-- <= 0 && ::PostMessageW(hwnd, msg, w, l);
}

// A dialog's loop, entered from a window procedure (for a message posted
// before the run, sent from another thread, or posted by a task that the
// pump's own loop ran), runs the tasks waiting or posted meanwhile: from
// another thread, by a delayed task that pumps messages itself and so takes
// the wake-up of what it posted while no task may run, or before the
// dialog opened.
TEST(MessagePumpForUITest, TasksRunInForeignModalLoops) {
  enum Entry {
    POSTED,
    SENT_FROM_ANOTHER_THREAD,
    POSTED_BY_A_TASK,
    POSTED_BY_A_DELAYED_TASK_THAT_PUMPS,
    // Another thread sends while the loop runs a task: the loop takes the
    // send in right after the task, in its next peek.
    SENT_FROM_ANOTHER_THREAD_AFTER_A_TASK,
    // Another thread sends between the peek that takes the pump's own
    // wake-up and the replacement step's peek.
    SENT_FROM_ANOTHER_THREAD_BETWEEN_THE_PEEKS,
    // A window procedure runs a nested run that ends at a task, then the
    // dialog.
    POSTED_AFTER_A_NESTED_RUN,
  };
  enum Work {
    POST_FROM_ANOTHER_THREAD,
    DELAYED_TASK_PUMPS,
    QUEUED_BEFORE,
    // A wake-up post fails once (a full queue), then another thread posts.
    POST_AFTER_A_FAILED_WAKE_UP,
    // With no other delayed task to set the timer again after it.
    DELAYED_TASK_PUMPS_ALONE,
    // The same, for the pump's own post between its peeks; no timer either.
    POST_AFTER_THE_PUMPS_OWN_WAKE_UP_FAILED,
    // Due once the dialog is open; the task before it ran a nested run that
    // window messages served and ended.
    DELAYED_THROUGH_A_NESTED_RUN,
    // Beside a task delayed far ahead, whose timer must not put off the
    // one that stands in for the wake-up.
    SECOND_TASK_AFTER_A_FAILED_WAKE_UP,
  };
  const struct {
    Entry entry;
    Work work;
  } kCases[] = {
      {POSTED, POST_FROM_ANOTHER_THREAD},
      {POSTED, DELAYED_TASK_PUMPS},
      {SENT_FROM_ANOTHER_THREAD, POST_FROM_ANOTHER_THREAD},
      {SENT_FROM_ANOTHER_THREAD, DELAYED_TASK_PUMPS},
      {POSTED_BY_A_TASK, QUEUED_BEFORE},
      {POSTED_BY_A_DELAYED_TASK_THAT_PUMPS, QUEUED_BEFORE},
      {SENT_FROM_ANOTHER_THREAD_AFTER_A_TASK, POST_FROM_ANOTHER_THREAD},
      {SENT_FROM_ANOTHER_THREAD_BETWEEN_THE_PEEKS, QUEUED_BEFORE},
      {POSTED, POST_AFTER_A_FAILED_WAKE_UP},
      {POSTED_AFTER_A_NESTED_RUN, POST_FROM_ANOTHER_THREAD},
      {POSTED_AFTER_A_NESTED_RUN, QUEUED_BEFORE},
      {SENT_FROM_ANOTHER_THREAD_BETWEEN_THE_PEEKS,
       POST_AFTER_THE_PUMPS_OWN_WAKE_UP_FAILED},
      {SENT_FROM_ANOTHER_THREAD_AFTER_A_TASK, DELAYED_THROUGH_A_NESTED_RUN},
      {POSTED, DELAYED_TASK_PUMPS_ALONE},
      {POSTED, SECOND_TASK_AFTER_A_FAILED_WAKE_UP},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "entry " << c.entry << " work " << c.work);
    MessageLoopForUI loop;
    scoped_refptr<SingleThreadTaskRunner> runner = loop.task_runner();
    FunctionWindow window;
    RunLoop outer;
    Closure quit = outer.QuitClosure();
    bool posted_ran = false;
    bool later_ran = c.work != DELAYED_TASK_PUMPS;
    bool all_ran_in_modal_loop = false;
    Closure mark_posted = Bind([&posted_ran] { posted_ran = true; });
    std::function<void()> dialog = [&] {
      if (c.work == POST_AFTER_A_FAILED_WAKE_UP) {
        g_posts_to_fail = 1;
        OnAnotherThread([&] { runner->PostTask(FROM_HERE, Bind([] {})); });
      }
      if (c.work == POST_FROM_ANOTHER_THREAD || c.work == POST_AFTER_A_FAILED_WAKE_UP ||
          c.work == POST_AFTER_THE_PUMPS_OWN_WAKE_UP_FAILED) {
        OnAnotherThread([&] { runner->PostTask(FROM_HERE, mark_posted); });
      } else if (c.work == SECOND_TASK_AFTER_A_FAILED_WAKE_UP) {
        runner->PostDelayedTask(FROM_HERE, Bind([] {}),
                                TimeDelta::FromHours(1));
        runner->PostTask(FROM_HERE, Bind([] { g_posts_to_fail = 1; }));
        runner->PostTask(FROM_HERE, mark_posted);
      } else if (c.work == DELAYED_TASK_PUMPS ||
                 c.work == DELAYED_TASK_PUMPS_ALONE) {
        runner->PostDelayedTask(FROM_HERE, Bind([&] {
                                  runner->PostTask(FROM_HERE, mark_posted);
                                  PumpMessagesInATask();
                                }),
                                TimeDelta::FromMilliseconds(1));
        if (c.work == DELAYED_TASK_PUMPS) {
          runner->PostDelayedTask(FROM_HERE,
                                  Bind([&later_ran] { later_ran = true; }),
                                  TimeDelta::FromMilliseconds(1));
        }
      }
      all_ran_in_modal_loop =
          RunForeignModalLoop([&] { return posted_ran && later_ran; });
      runner->PostTask(FROM_HERE, quit);
    };
    std::unique_ptr<OtherThread> sender;
    std::function<void()> start_sender = [&] {
      sender = std::make_unique<OtherThread>([&] { window.Send(&dialog); });
      ASSERT_TRUE(sender->Start());
    };
    std::unique_ptr<ScopedCallSwap<decltype(&::PeekMessageW)>> peek_swap;
    ScopedCallSwap<decltype(&::PostMessageW)> post_swap(
        &GetPumpPlatformCalls()->post_message, &PostUnlessArmedToFail);
    ScopedCallSwap<decltype(&::SetTimer)> timer_swap(
        &GetPumpPlatformCalls()->set_timer,
        c.work == POST_AFTER_THE_PUMPS_OWN_WAKE_UP_FAILED ? &FailingSetTimer
                                                          : &TrackedSetTimer);
    ScopedCallSwap<decltype(&::KillTimer)> kill_swap(&GetPumpPlatformCalls()->kill_timer,
                                                     &TrackedKillTimer);
    g_live_timers.clear();
    if (c.work == DELAYED_THROUGH_A_NESTED_RUN) {
      runner->PostDelayedTask(FROM_HERE, mark_posted,
                              TimeDelta::FromMilliseconds(200));
    }
    if (c.entry == SENT_FROM_ANOTHER_THREAD_AFTER_A_TASK) {
      runner->PostTask(FROM_HERE, Bind([&] {
                         if (c.work == DELAYED_THROUGH_A_NESTED_RUN) {
                           RunLoop nested;
                           std::function<void()> quit = [&] { nested.Quit(); };
                           ::PostMessageW(window.hwnd(), WM_NULL, 0, 0);
                           window.Post(&quit);
                           nested.Run();
                         }
                         start_sender();
                         EXPECT_TRUE(WaitForPendingSend());
                       }));
    } else if (c.entry == SENT_FROM_ANOTHER_THREAD_BETWEEN_THE_PEEKS) {
      g_send_after_wake_up = &start_sender;
      peek_swap.reset(new ScopedCallSwap<decltype(&::PeekMessageW)>(
          &GetPumpPlatformCalls()->peek_message, &PeekThenSend));
      runner->PostTask(FROM_HERE, mark_posted);
    } else if (c.entry == POSTED) {
      window.Post(&dialog);
    } else if (c.entry == POSTED_BY_A_TASK) {
      runner->PostTask(FROM_HERE, Bind([&] { window.Post(&dialog); }));
      runner->PostTask(FROM_HERE, mark_posted);
    } else if (c.entry == POSTED_BY_A_DELAYED_TASK_THAT_PUMPS) {
      // Due before the loop first looks, so that the loop runs it itself.
      const TimeDelta delay = TimeDelta::FromMicroseconds(1);
      runner->PostDelayedTask(FROM_HERE, Bind([&] {
                                runner->PostTask(FROM_HERE, mark_posted);
                                PumpMessagesInATask();
                                window.Post(&dialog);
                              }),
                              delay);
      const TimeTicks due = TimeTicks::Now() + delay;
      while (TimeTicks::Now() <= due) {
      }
    } else if (c.entry == SENT_FROM_ANOTHER_THREAD) {
      start_sender();
    }
    std::function<void()> nested_then_dialog = [&] {
      RunLoop nested;
      runner->PostTask(FROM_HERE, nested.QuitClosure());
      if (c.work == QUEUED_BEFORE)
        runner->PostTask(FROM_HERE, mark_posted);
      nested.Run();
      dialog();
    };
    if (c.entry == POSTED_AFTER_A_NESTED_RUN)
      window.Post(&nested_then_dialog);
    // The run's first post is the replacement step's, between the peeks.
    g_posts_to_fail = c.work == POST_AFTER_THE_PUMPS_OWN_WAKE_UP_FAILED;
    ScopedLogCapture log(LOG_ERROR);
    outer.Run();
    EXPECT_EQ(
        c.work == POST_AFTER_THE_PUMPS_OWN_WAKE_UP_FAILED,
        log.text.find("Queued tasks have no wake-up") != std::string::npos);
    // A timer that fired is stopped; at most the delayed work's stays.
    EXPECT_GE(1u, g_live_timers.size());
    peek_swap.reset();
    g_send_after_wake_up = nullptr;
    g_posts_to_fail = 0;
    if (sender)
      sender->Join();
    DrainMessages();
    EXPECT_TRUE(all_ran_in_modal_loop);
  }
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
// from a run nested inside it, after asking the outer run to quit. The
// installed filter takes the exception and the loop must go on: the unwound
// task released at once (a message posted just before the raise comes
// ahead of any later task), runs closed and their quit closures dead, the
// wake-up the task took sent again, and the quit of the outer run kept.
TEST(MessagePumpForUITest, LoopGoesOnAfterTheFilterHandledAnException) {
  class RaisingDispatcher : public MessagePumpDispatcher {
   public:
    explicit RaisingDispatcher(RunLoop* outer) : outer_(outer) {}
    uint32_t Dispatch(const MSG& msg) override {
      if (msg.message == WM_APP + 1) {
        outer_->Quit();
        ::RaiseException(kTestExceptionCode, 0, 0, nullptr);
      }
      return POST_DISPATCH_PERFORM_DEFAULT;
    }

   private:
    RunLoop* outer_;
  };
  // Tasks are timed, so that the unwound task's stopwatch is current.
  tracked_objects::ThreadData::Initialize();
  WinProcExceptionFilter previous =
      SetWinProcExceptionFilter(&ExecuteHandlerFilter);

  // The foreign loop runs in the outermost run, or in one nested from a
  // window procedure; that run is asked to quit.
  for (int depth : {1, 2})
  for (bool from_nested_run : {false, true}) {
    SCOPED_TRACE(testing::Message()
                 << (from_nested_run ? "raised in a nested run"
                                     : "raised in a task")
                 << " at depth " << depth);
    MessageLoopForUI loop;
    bool after_raise = false;
    bool released = false;
    bool released_at_once = false;
    bool later_ran = false;
    bool outer_went_on = false;
    Closure stale_quit;
    // Lives elsewhere than the frames unwound: its quit stays alive.
    std::unique_ptr<RunLoop> on_heap;
    Closure heap_quit;
    RunLoop outer;
    RunLoop* target = &outer;
    FunctionWindow window;
    std::function<void()> check_released = [&] {
      released_at_once = released;
    };
    auto post_check = [&] {
      window.Post(&check_released);
    };
    std::function<void()> foreign_loop = [&] {
      loop.task_runner()->PostTask(
          FROM_HERE,
          Bind(
              [&](ReleaseFlag*) {
                on_heap = std::make_unique<RunLoop>();
                heap_quit = on_heap->QuitClosure();
                if (from_nested_run) {
                  RaisingDispatcher dispatcher(target);
                  ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP + 1, 0,
                                       0);
                  post_check();
                  RunLoop nested(&dispatcher);
                  stale_quit = nested.QuitClosure();
                  nested.Run();
                } else {
                  // Not running, but its frame goes all the same.
                  RunLoop unused;
                  stale_quit = unused.QuitClosure();
                  target->Quit();
                  post_check();
                  ::RaiseException(kTestExceptionCode, 0, 0, nullptr);
                }
                after_raise = true;
              },
              Owned(new ReleaseFlag(&released))));
      loop.task_runner()->PostTask(FROM_HERE,
                                   Bind([&later_ran] { later_ran = true; }));
      tracked_objects::TaskStopwatch* const stopwatch =
          tracked_objects::TaskStopwatch::Current();
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
      EXPECT_TRUE(released_at_once);
      EXPECT_TRUE(later_ran);
      // Back outside any task, in the outer run.
      EXPECT_EQ(stopwatch, tracked_objects::TaskStopwatch::Current());
      EXPECT_TRUE(loop.NestableTasksAllowed());
      EXPECT_EQ(target, loop.run_loop());
      // Ends the run should its quit have been lost. Through the pump: the
      // loop's record of which run it is in may be what went wrong.
      loop.task_runner()->PostTask(FROM_HERE, Bind([&] {
                                     outer_went_on = true;
                                     if (target->running())
                                       loop.pump()->Quit();
                                   }));
    };
    std::function<void()> middle_run = [&] {
      RunLoop middle;
      target = &middle;
      window.Post(&foreign_loop);
      middle.Run();
      target = &outer;
      outer.Quit();
    };
    window.Post(depth == 1 ? &foreign_loop : &middle_run);
    outer.Run();
    EXPECT_FALSE(after_raise);
    EXPECT_TRUE(released);
    EXPECT_FALSE(outer_went_on);
    EXPECT_TRUE(stale_quit.IsCancelled());
    EXPECT_FALSE(heap_quit.IsCancelled());

    ASSERT_TRUE(loop.NestableTasksAllowed());
    RunPosted();
    EXPECT_TRUE(outer_went_on);
  }
  EXPECT_EQ(&ExecuteHandlerFilter, SetWinProcExceptionFilter(previous));
}

// Another process can find the pump's window (its class name carries the
// pump's address) and post or send it anything, as often as it likes: the
// window stays, and the loop keeps serving tasks posted from other threads.
TEST(MessagePumpForUITest, ForeignMessagesLeaveThePumpWorking) {
  enum Way { POST, SEND, SEND_NOTIFY };
  constexpr WPARAM kThePump = 1;  // Stands for the pump's own address.
  const struct {
    Way way;
    UINT message;
    WPARAM wparam;
    int count;
  } kCases[] = {
      {POST, MessagePumpForUI::kMsgHaveWork, kThePump, 2},
      {POST, MessagePumpForUI::kMsgHaveWork, kThePump, 1000},
      {SEND_NOTIFY, MessagePumpForUI::kMsgHaveWork, kThePump, 20000},
      {SEND, MessagePumpForUI::kMsgHaveWork, kThePump, 3},
      {POST, MessagePumpForUI::kMsgHaveWork, 0, 3},
      {POST, MessagePumpForUI::kMsgHaveWork, ~WPARAM(0), 3},
      {POST, WM_TIMER, kThePump, 3},
      {POST, WM_TIMER, 0x10000, 3},
      {POST, WM_CLOSE, 0, 1},
      {SEND, WM_CLOSE, 0, 1},
      {POST, WM_SYSCOMMAND, SC_CLOSE, 1},
      {POST, WM_DESTROY, 0, 1},
      {POST, WM_NCDESTROY, 0, 1},
  };
  // The loop runs on a thread of its own: should the messages overflow its
  // stack, that thread ends without finishing, rather than the process
  // ending with every test unreported.
  bool finished = false;
  OtherThread ui_thread([&] {
    for (const auto& c : kCases) {
      SCOPED_TRACE(testing::Message() << "way " << c.way << " message "
                                      << c.message << " x" << c.count);
      MessageLoopForUI loop;
      auto* pump = static_cast<MessagePumpForUI*>(loop.pump());
      HWND hwnd = pump->message_hwnd();
      WPARAM wparam =
          c.wparam == kThePump ? reinterpret_cast<WPARAM>(pump) : c.wparam;
      DWORD loop_thread = ::GetCurrentThreadId();
      RunLoop run_loop;
      Closure quit = run_loop.QuitClosure();
      // Tasks run from the loop, never inside a message another thread
      // sent: the sender would wait on them, and each such message would
      // nest the loop one level deeper.
      DWORD task_in_send = ISMEX_NOSEND;
      loop.task_runner()->PostTask(FROM_HERE, Bind([&task_in_send] {
                                     task_in_send = ::InSendMessageEx(nullptr);
                                   }));
      HANDLE piled = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
      OtherThread other([&] {
        for (int i = 0; i < c.count; ++i) {
          if (c.way == POST)
            ::PostMessageW(hwnd, c.message, wparam, 0);
          else if (c.way == SEND)
            ::SendMessageW(hwnd, c.message, wparam, 0);
          else
            ::SendNotifyMessageW(hwnd, c.message, wparam, 0);
        }
        if (c.way == SEND_NOTIFY) {
          ::SetEvent(piled);
          // Notifications go with their sender: it stays until they are
          // taken.
          ::SendMessageW(hwnd, WM_NULL, 0, 0);
        }
        loop.task_runner()->PostTask(FROM_HERE, quit);
        // Wakes the loop even if the window is gone.
        if (c.way != POST)
          ::PostThreadMessageW(loop_thread, WM_NULL, 0, 0);
      });
      ASSERT_TRUE(other.Start());
      // Posts and notifications pile up before the loop runs, as from a
      // quicker process; each blocking send waits for the loop.
      if (c.way == POST)
        other.Join();
      if (c.way == SEND_NOTIFY)
        ::WaitForSingleObject(piled, INFINITE);
      run_loop.Run();
      if (c.way != POST)
        other.Join();
      ::CloseHandle(piled);
      EXPECT_TRUE(::IsWindow(hwnd));
      EXPECT_EQ(static_cast<DWORD>(ISMEX_NOSEND), task_in_send);
    }
    finished = true;
  });
  ASSERT_TRUE(ui_thread.Start());
  ui_thread.Join();
  EXPECT_TRUE(finished);
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
  EXPECT_EQ(1, static_cast<MessagePumpForIO*>(loop.pump())
                   ->schedule_work_error_count());
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
  const TimeTicks now = TimeTicks::Now();
  const struct {
    TimeTicks run_time;
    int delay;
  } kCases[] = {
      {TimeTicks(), -1},
      {now - TimeDelta::FromSeconds(1), 0},
      {now, 0},
      {now + TimeDelta::FromMicroseconds(1), 1},
      {now + TimeDelta::FromMicroseconds(5000), 5},
      {now + TimeDelta::FromMicroseconds(5500), 6},
      {now + TimeDelta::FromMicroseconds(5999), 6},
      {now + TimeDelta::FromDays(30), 2147483647},
      {TimeTicks::Max(), 2147483647},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.delay, MessagePumpWin::DelayUntil(c.run_time, now))
        << (c.run_time - now).InMicroseconds() << " us";
  }
}

}  // namespace
}  // namespace base
