#include "base/message_loop/message_pump_win.h"

#include <math.h>
#include <stdio.h>

#include <algorithm>
#include <limits>

#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_loop_problem.h"
#include "base/message_loop/seh_guard_win.h"
#include "base/message_loop/user32_calls_win.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/rand_util.h"
#include "base/threading/platform_thread.h"
#include "base/trace_event/trace_log.h"

namespace base {

namespace {

using internal::GetPumpPlatformCalls;
using internal::PumpPlatformCalls;

// The shortest timer the system honours; shorter delays get this one.
constexpr int kMinTimerDelayMs = 10;

std::atomic<WinProcExceptionFilter> g_exception_filter{nullptr};

// A trace event in "base" naming the Windows message being processed, for as
// long as it lives; recorded only while the category is on.
class ScopedMessageTraceEvent {
 public:
  explicit ScopedMessageTraceEvent(UINT message) {
    static const unsigned char* category =
        trace_event::TraceLog::GetInstance()->GetCategoryGroupEnabled("base");
    if (!(*category & trace_event::kCategoryEnabledForRecordingMask))
      return;
    static const char* const kArgNames[] = {"message"};
    static const unsigned char kArgTypes[] = {trace_event::kTraceValueTypeUint};
    const unsigned long long values[] = {message};
    category_ = category;
    handle_ = trace_event::TraceLog::GetInstance()
                  ->AddTraceEventWithThreadIdAndTimestamp(
                      trace_event::kPhaseComplete, category, kName, nullptr, 0,
                      0, static_cast<int>(PlatformThread::CurrentId()),
                      TimeTicks::Now(), 1, kArgNames, kArgTypes, values,
                      trace_event::kTraceEventFlagNone);
  }
  ~ScopedMessageTraceEvent() {
    if (!category_)
      return;
    trace_event::TraceLog::GetInstance()->UpdateTraceEventDuration(
        category_, kName, handle_);
    if (*category_ & trace_event::kCategoryEnabledForFiltering) {
      trace_event::TraceLog::GetInstance()->EndFilteredEvent(category_, kName,
                                                             handle_);
    }
  }

 private:
  static constexpr const char* kName = "MessagePumpForUI::ProcessMessageHelper";
  const unsigned char* category_ = nullptr;
  trace_event::TraceEventHandle handle_ = {};
};

PumpPlatformCalls* Calls() {
  return GetPumpPlatformCalls();
}

}  // namespace

namespace internal {

void RecordMessageLoopProblem(int problem) {
  static HistogramBase* histogram =
      LinearHistogram::FactoryGet("Base.MessageLoopProblem", 3, 4);
  histogram->Add(problem);
}

}  // namespace internal

// The window procedure's exception filter: the installed filter decides, else
// the search goes on up the stack.
extern "C" LONG MessagePumpCallExceptionFilter(EXCEPTION_POINTERS* info,
                                               void* frame) {
  WinProcExceptionFilter filter = g_exception_filter.load();
  LONG result = filter ? filter(info) : EXCEPTION_CONTINUE_SEARCH;
  // The frames below |frame| are about to be unwound; what lives there can
  // still be reached now, and no longer once the handler runs.
  if (result == EXCEPTION_EXECUTE_HANDLER) {
    if (MessageLoop* loop = MessageLoop::current())
      loop->InvalidateRunLoopsBelow(frame);
  }
  return result;
}

WinProcExceptionFilter SetWinProcExceptionFilter(
    WinProcExceptionFilter filter) {
  return g_exception_filter.exchange(filter);
}

//------------------------------------------------------------------------------
// MessagePumpWin

MessagePumpWin::MessagePumpWin() = default;
MessagePumpWin::~MessagePumpWin() = default;

void MessagePumpWin::Run(Delegate* delegate) {
  RunWithState(delegate, nullptr);
}

void MessagePumpWin::RunWithState(Delegate* delegate,
                                  MessagePumpDispatcher* dispatcher) {
  RunState state;
  state.delegate = delegate;
  state.dispatcher = dispatcher;
  state.should_quit = false;
  state.run_depth = state_ ? state_->run_depth + 1 : 1;
  state.tasks_may_wait = false;

  RunState* previous_state = state_;
  state_ = &state;
  DoRunLoop();
  state_ = previous_state;
  // Ended at a task (the quit): those queued behind it need a wake-up in
  // whatever loop comes next, maybe a modal one opened by the window
  // procedure that started this run.
  if (previous_state && state.tasks_may_wait)
    ScheduleWork();
}

void MessagePumpWin::Quit() {
  CHECK(state_);
  state_->should_quit = true;
}

int MessagePumpWin::GetCurrentDelay() const {
  if (delayed_work_time_.is_null())
    return -1;
  return DelayUntil(delayed_work_time_, TimeTicks::Now());
}

// static
int MessagePumpWin::DelayUntil(TimeTicks run_time, TimeTicks now) {
  if (run_time.is_null())
    return -1;
  double timeout;
  if (run_time.is_max()) {
    timeout = std::numeric_limits<double>::infinity();
  } else {
    TimeDelta delay = run_time - now;
    timeout = ceil(delay.InMicroseconds() / 1000.0);
  }
  if (timeout < 0)
    return 0;
  if (timeout > std::numeric_limits<int>::max())
    return std::numeric_limits<int>::max();
  return static_cast<int>(timeout);
}

int MessagePumpWin::schedule_work_error_count() const {
  return schedule_work_error_count_.load();
}

Time MessagePumpWin::last_schedule_work_error_time() const {
  return Time::FromInternalValue(last_schedule_work_error_time_.load());
}

void MessagePumpWin::RecordScheduleWorkError(int problem) {
  internal::RecordMessageLoopProblem(problem);
  schedule_work_error_count_.fetch_add(1);
  last_schedule_work_error_time_.store(Time::Now().ToInternalValue());
}

//------------------------------------------------------------------------------
// MessagePumpForUI

MessagePumpForUI::MessagePumpForUI()
    : secret_(static_cast<UINT_PTR>(
          RandGenerator(std::numeric_limits<UINT_PTR>::max()) + 1)),
      thread_id_(::GetCurrentThreadId()) {
  InitMessageWnd();
}

MessagePumpForUI::~MessagePumpForUI() {
  Calls()->destroy_window(message_hwnd_);
  Calls()->unregister_class(MAKEINTATOM(atom_), instance_);
}

void MessagePumpForUI::RunWithDispatcher(Delegate* delegate,
                                         MessagePumpDispatcher* dispatcher) {
  RunWithState(delegate, dispatcher);
}

UINT_PTR MessagePumpForUI::TimerId() const {
  return secret_;
}

UINT_PTR MessagePumpForUI::WakeUpTimerId() const {
  return secret_ ^ 1;
}

void MessagePumpForUI::InitMessageWnd() {
  wchar_t class_name[64];
  swprintf(class_name, 64, L"Base_MessagePumpWindow_%p", this);

  // The module holding this code, which is the DLL in the product.
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&WrappedWindowProc),
                       &instance_);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &WrappedWindowProc;
  window_class.hInstance = instance_;
  window_class.lpszClassName = class_name;
  atom_ = Calls()->register_class_ex(&window_class);
  CHECK(atom_);
  message_hwnd_ = Calls()->create_window_ex(0, MAKEINTATOM(atom_), nullptr, 0,
                                            0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            instance_, nullptr);
  CHECK(message_hwnd_);
  Calls()->set_window_long_ptr(message_hwnd_, GWLP_USERDATA,
                               reinterpret_cast<LONG_PTR>(this));
}

bool MessagePumpForUI::ScheduleWork() {
  if (work_state_.exchange(HAVE_WORK) != READY)
    return true;  // A wake-up is already in flight.
  if (Calls()->post_message(message_hwnd_, kMsgHaveWork,
                            reinterpret_cast<WPARAM>(this),
                            static_cast<LPARAM>(secret_))) {
    return true;
  }
  // The thread's queue is full: let the next post try again.
  work_state_.exchange(READY);
  RecordScheduleWorkError(internal::MESSAGE_POST_ERROR);
  // Posted for itself, in a run: the loop's queue may still count on a
  // wake-up from an earlier post, and would send none for the next. The
  // tasks already queued still need one, inside a foreign modal loop too:
  // the timer brings it.
  if (::GetCurrentThreadId() == thread_id_ && state_) {
    state_->delegate->OnWakeUpLost();
    if (!Calls()->set_timer(message_hwnd_, WakeUpTimerId(), kMinTimerDelayMs,
                            nullptr)) {
      internal::RecordMessageLoopProblem(internal::SET_TIMER_ERROR);
      LOG(ERROR) << "Queued tasks have no wake-up: neither it nor its timer"
                    " could be set; the next post or timer tries again";
    }
  }
  return false;
}

void MessagePumpForUI::ScheduleDelayedWork(const TimeTicks& delayed_work_time) {
  delayed_work_time_ = delayed_work_time;
  RescheduleTimer();
}

void MessagePumpForUI::RescheduleTimer() {
  if (delayed_work_time_.is_null())
    return;
  int delay_ms = GetCurrentDelay();
  if (delay_ms == 0) {
    ScheduleWork();
    return;
  }
  delay_ms = std::max(delay_ms, kMinTimerDelayMs);
  if (!Calls()->set_timer(message_hwnd_, TimerId(), delay_ms, nullptr))
    internal::RecordMessageLoopProblem(internal::SET_TIMER_ERROR);
}

// static
MessagePumpForUI* MessagePumpForUI::PumpForMessage(HWND hwnd,
                                                   UINT message,
                                                   WPARAM wparam,
                                                   LPARAM lparam) {
  if (message != kMsgHaveWork && message != WM_TIMER)
    return nullptr;
  auto* pump = reinterpret_cast<MessagePumpForUI*>(
      Calls()->get_window_long_ptr(hwnd, GWLP_USERDATA));
  if (!pump)
    return nullptr;
  // Only the secret tells ours from a forged copy, posted or sent. Handling a
  // sent copy would peek, which takes in the next sent one, nesting as deep
  // as the sender likes; ours may come inside a sent message all the same,
  // from a modal loop run there.
  if (message == WM_TIMER) {
    return wparam == pump->TimerId() || wparam == pump->WakeUpTimerId()
               ? pump
               : nullptr;
  }
  if (wparam != reinterpret_cast<WPARAM>(pump) ||
      static_cast<UINT_PTR>(lparam) != pump->secret_) {
    return nullptr;
  }
  return pump;
}

// static
__attribute__((noinline, noclone)) LRESULT CALLBACK
MessagePumpForUI::WrappedWindowProc(HWND hwnd,
                                    UINT message,
                                    WPARAM wparam,
                                    LPARAM lparam) {
  MessagePumpForUI* pump = PumpForMessage(hwnd, message, wparam, lparam);
  ResumePoint point;
  if (pump)
    point = pump->SaveResumePoint();
  // Read back after the guard: they keep their values when the handler was
  // chosen.
  volatile LRESULT result = 0;
  volatile bool unwound = true;
  SEH_GUARD_BEGIN(wndproc, MessagePumpCallExceptionFilter)
  result = WndProcThunk(pump, hwnd, message, wparam, lparam);
  unwound = false;
  SEH_GUARD_END(wndproc)
  if (unwound && pump)
    pump->ResumeAt(point);
  return result;
}

// Kept out of line so that the whole call lies inside the guarded range.
// static
__attribute__((noinline)) LRESULT MessagePumpForUI::WndProcThunk(
    MessagePumpForUI* pump,
    HWND hwnd,
    UINT message,
    WPARAM wparam,
    LPARAM lparam) {
  // Anyone may post this; the default would destroy the window, leaving the
  // loop deaf. Only the pump destroys it.
  if (message == WM_CLOSE)
    return 0;
  if (pump && message == kMsgHaveWork)
    pump->HandleWorkMessage();
  else if (pump && message == WM_TIMER)
    pump->HandleTimerMessage(wparam);
  return Calls()->def_window_proc(hwnd, message, wparam, lparam);
}

MessagePumpForUI::ResumePoint MessagePumpForUI::SaveResumePoint() const {
  ResumePoint point;
  point.state = state_;
  if (state_)
    point.delegate_point = state_->delegate->SaveResumePoint();
  return point;
}

void MessagePumpForUI::ResumeAt(const ResumePoint& point) {
  // Runs nested inside the unwound call ended with it.
  state_ = point.state;
  if (!state_)
    return;
  state_->delegate->ResumeAt(point.delegate_point);
  // The unwound call may have taken the wake-up or the timer with it.
  ScheduleWork();
}

void MessagePumpForUI::HandleWorkMessage() {
  if (!state_) {
    // A foreign modal loop dispatched it outside Run: only let the next post
    // send another.
    work_state_.exchange(READY);
    return;
  }
  ProcessPumpReplacementMessage();
  DoWorkFromWindow();
}

void MessagePumpForUI::HandleTimerMessage(UINT_PTR id) {
  Calls()->kill_timer(message_hwnd_, id);
  if (!state_)
    return;
  // It may stand in for a wake-up that could not be posted.
  DoWorkFromWindow();
}

void MessagePumpForUI::DoWorkFromWindow() {
  bool ran = state_->delegate->DoWork();
  ran |= state_->delegate->DoDelayedWork(&delayed_work_time_);
  // More may be queued. And a task that pumped messages itself may have
  // taken our wake-up while the loop refused nested work, clearing the
  // delayed run time too: a foreign modal loop around us would wait for
  // nothing.
  if (ran)
    ScheduleWork();
  RescheduleTimer();
}

void MessagePumpForUI::DoRunLoop() {
  for (;;) {
    bool more_work_is_plausible = ProcessNextWindowsMessage();
    if (state_->should_quit)
      break;

    bool ran_task = state_->delegate->DoWork();
    state_->tasks_may_wait = ran_task;
    if (state_->should_quit)
      break;

    ran_task |= state_->delegate->DoDelayedWork(&delayed_work_time_);
    more_work_is_plausible |= ran_task;
    state_->tasks_may_wait = ran_task;
    // Nothing delayed is left: the timer would only wake us for nothing.
    if (more_work_is_plausible && delayed_work_time_.is_null())
      Calls()->kill_timer(message_hwnd_, TimerId());
    if (state_->should_quit)
      break;

    if (more_work_is_plausible)
      continue;

    more_work_is_plausible = state_->delegate->DoIdleWork();
    if (state_->should_quit)
      break;

    if (more_work_is_plausible)
      continue;

    WaitForWork();
  }
}

bool MessagePumpForUI::HasSentMessages() const {
  return (HIWORD(Calls()->get_queue_status(QS_SENDMESSAGE)) &
          QS_SENDMESSAGE) != 0;
}

void MessagePumpForUI::WaitForWork() {
  DWORD flags = MWMO_INPUTAVAILABLE;
  int delay;
  while ((delay = GetCurrentDelay()) != 0) {
    DWORD timeout = delay < 0 ? INFINITE : static_cast<DWORD>(delay);
    DWORD result = Calls()->msg_wait_for_multiple_objects_ex(
        0, nullptr, timeout, QS_ALLINPUT, flags);
    if (result != WAIT_OBJECT_0)
      return;
    MSG msg;
    if (HasSentMessages() ||
        Calls()->peek_message(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      return;
    }
    // Only input that arrives from now on.
    flags = 0;
  }
}

bool MessagePumpForUI::ProcessNextWindowsMessage() {
  bool sent_messages_in_queue = HasSentMessages();
  MSG msg;
  if (Calls()->peek_message(&msg, nullptr, 0, 0, PM_REMOVE))
    return ProcessMessageHelper(msg);
  return sent_messages_in_queue;
}

bool MessagePumpForUI::ProcessMessageHelper(const MSG& msg) {
  ScopedMessageTraceEvent trace(msg.message);
  if (msg.message == WM_QUIT) {
    // Ends this run and is posted again for the enclosing one.
    state_->should_quit = true;
    Calls()->post_quit_message(static_cast<int>(msg.wParam));
    return false;
  }

  if (IsWorkMessage(msg))
    return ProcessPumpReplacementMessage();

  // Should this message open a modal loop, the tasks still queued need a
  // wake-up there.
  if (state_->tasks_may_wait) {
    state_->tasks_may_wait = false;
    ScheduleWork();
  }

  if (Calls()->call_msg_filter(const_cast<MSG*>(&msg), kMessageFilterCode))
    return true;

  uint32_t action = MessagePumpDispatcher::POST_DISPATCH_PERFORM_DEFAULT;
  if (state_->dispatcher)
    action = state_->dispatcher->Dispatch(msg);
  if (action & MessagePumpDispatcher::POST_DISPATCH_QUIT_LOOP)
    state_->should_quit = true;
  if (action & MessagePumpDispatcher::POST_DISPATCH_PERFORM_DEFAULT) {
    Calls()->translate_message(&msg);
    Calls()->dispatch_message(&msg);
  }
  return true;
}

bool MessagePumpForUI::ProcessPumpReplacementMessage() {
  // The work message must not delay the message that would have come next.
  // A message sent from another thread comes in inside the peek and may
  // open a modal loop: the tasks ours announced need a wake-up in flight
  // there, so it goes out before the peek.
  work_state_.exchange(READY);
  ScheduleWork();
  MSG msg;
  if (!Calls()->peek_message(&msg, nullptr, 0, 0, PM_REMOVE))
    return false;
  if (IsWorkMessage(msg)) {
    // Nothing came before the one just posted.
    work_state_.exchange(READY);
    return false;
  }
  return ProcessMessageHelper(msg);
}

bool MessagePumpForUI::IsWorkMessage(const MSG& msg) const {
  return msg.message == kMsgHaveWork && msg.hwnd == message_hwnd_ &&
         msg.wParam == reinterpret_cast<WPARAM>(this) &&
         static_cast<UINT_PTR>(msg.lParam) == secret_;
}

//------------------------------------------------------------------------------
// MessagePumpForIO

MessagePumpForIO::IOContext::IOContext() {
  memset(&overlapped, 0, sizeof(overlapped));
}

MessagePumpForIO::MessagePumpForIO() {
  DWORD last_error = ::GetLastError();
  port_.Set(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  ::SetLastError(last_error);
}

MessagePumpForIO::~MessagePumpForIO() = default;

bool MessagePumpForIO::ScheduleWork() {
  if (work_state_.exchange(HAVE_WORK) != READY)
    return true;  // A wake-up is already in flight.
  if (Calls()->post_queued_completion_status(
          port_.Get(), 0, reinterpret_cast<ULONG_PTR>(this),
          reinterpret_cast<OVERLAPPED*>(this))) {
    return true;
  }
  work_state_.exchange(READY);
  RecordScheduleWorkError(internal::COMPLETION_POST_ERROR);
  return false;
}

void MessagePumpForIO::ScheduleDelayedWork(const TimeTicks& delayed_work_time) {
  // Picked up by the next wait's timeout.
  delayed_work_time_ = delayed_work_time;
}

void MessagePumpForIO::RegisterIOHandler(HANDLE file, IOHandler* handler) {
  ::CreateIoCompletionPort(file, port_.Get(),
                           reinterpret_cast<ULONG_PTR>(handler), 1);
}

void MessagePumpForIO::DoRunLoop() {
  for (;;) {
    bool more_work_is_plausible = state_->delegate->DoWork();
    if (state_->should_quit)
      break;

    more_work_is_plausible |= WaitForIOCompletion(0, nullptr);
    if (state_->should_quit)
      break;

    more_work_is_plausible |=
        state_->delegate->DoDelayedWork(&delayed_work_time_);
    if (state_->should_quit)
      break;

    if (more_work_is_plausible)
      continue;

    more_work_is_plausible = state_->delegate->DoIdleWork();
    if (state_->should_quit)
      break;

    if (more_work_is_plausible)
      continue;

    WaitForWork();
  }
}

void MessagePumpForIO::WaitForWork() {
  int timeout = GetCurrentDelay();
  WaitForIOCompletion(timeout < 0 ? INFINITE : static_cast<DWORD>(timeout),
                      nullptr);
}

bool MessagePumpForIO::WaitForIOCompletion(DWORD timeout, IOHandler* filter) {
  IOItem item;
  if (!TakeHeldItem(filter, &item)) {
    if (!GetIOItem(timeout, &item))
      return false;
    if (ProcessInternalIOItem(item))
      return true;
  }
  if (filter && item.handler != filter) {
    // Held for its own handler, in arrival order.
    completed_io_.push_back(item);
    return true;
  }
  item.handler->OnIOCompleted(item.context, item.bytes_transferred,
                              item.error);
  return true;
}

bool MessagePumpForIO::TakeHeldItem(IOHandler* filter, IOItem* item) {
  for (auto it = completed_io_.begin(); it != completed_io_.end(); ++it) {
    if (!filter || it->handler == filter) {
      *item = *it;
      completed_io_.erase(it);
      return true;
    }
  }
  return false;
}

bool MessagePumpForIO::GetIOItem(DWORD timeout, IOItem* item) {
  DWORD bytes_transferred = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  item->error = 0;
  if (!::GetQueuedCompletionStatus(port_.Get(), &bytes_transferred, &key,
                                   &overlapped, timeout)) {
    if (!overlapped)
      return false;  // Nothing arrived.
    // A completed operation that failed.
    item->error = ::GetLastError();
    bytes_transferred = 0;
  }
  item->handler = reinterpret_cast<IOHandler*>(key);
  item->context = reinterpret_cast<IOContext*>(overlapped);
  item->bytes_transferred = bytes_transferred;
  return true;
}

bool MessagePumpForIO::ProcessInternalIOItem(const IOItem& item) {
  if (reinterpret_cast<void*>(item.handler) == this &&
      reinterpret_cast<void*>(item.context) == this) {
    // Our own wake-up.
    work_state_.exchange(READY);
    return true;
  }
  return false;
}

}  // namespace base
