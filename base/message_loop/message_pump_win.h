#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_WIN_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_WIN_H_

#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <list>

#include "base/message_loop/message_pump.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

// Takes the Windows messages of a UI run (supplied through RunLoop).
class MessagePumpDispatcher {
 public:
  enum PostDispatchAction : uint32_t {
    POST_DISPATCH_NONE = 0,
    POST_DISPATCH_QUIT_LOOP = 1,
    POST_DISPATCH_PERFORM_DEFAULT = 2,
  };

  virtual ~MessagePumpDispatcher() = default;
  virtual uint32_t Dispatch(const MSG& msg) = 0;
};

// What the message window's procedure consults when an exception escapes it.
typedef LONG(WINAPI* WinProcExceptionFilter)(EXCEPTION_POINTERS* info);

// Installs |filter|; returns the previous one.
WinProcExceptionFilter SetWinProcExceptionFilter(WinProcExceptionFilter filter);

// The part the UI and I/O pumps share.
class MessagePumpWin : public MessagePump {
 public:
  MessagePumpWin();
  ~MessagePumpWin() override;

  void Run(Delegate* delegate) override;
  void Quit() override;

  // Milliseconds until the delayed work is due, rounded up; -1 for none.
  int GetCurrentDelay() const;
  // The same for work due at |run_time| as seen at |now|.
  static int DelayUntil(TimeTicks run_time, TimeTicks now);

  // Failed wake-ups so far, and when the last one failed (null for none).
  int schedule_work_error_count() const;
  Time last_schedule_work_error_time() const;

 protected:
  struct RunState {
    Delegate* delegate;
    MessagePumpDispatcher* dispatcher;
    bool should_quit;
    int run_depth;
    // Tasks ran since the last wake-up was taken: more may be queued with
    // none in flight.
    bool tasks_may_wait;
  };

  enum WorkState { READY = 0, HAVE_WORK = 1 };

  void RunWithState(Delegate* delegate, MessagePumpDispatcher* dispatcher);
  virtual void DoRunLoop() = 0;

  // Counts a failed wake-up (histogram sample |problem|). Any thread: it
  // touches nothing of a run, which may end meanwhile.
  void RecordScheduleWorkError(int problem);

  TimeTicks delayed_work_time_;
  std::atomic<int> work_state_{READY};
  RunState* state_ = nullptr;
  std::atomic<int> schedule_work_error_count_{0};
  std::atomic<int64_t> last_schedule_work_error_time_{0};
};

// Serves the thread's Windows messages; wakes through a message-only window.
class MessagePumpForUI : public MessagePumpWin {
 public:
  // The message that signals posted work.
  static constexpr UINT kMsgHaveWork = WM_USER + 1;
  // The code under which messages are offered to the thread's hooks.
  static constexpr int kMessageFilterCode = 0x5001;

  MessagePumpForUI();
  ~MessagePumpForUI() override;

  void RunWithDispatcher(Delegate* delegate, MessagePumpDispatcher* dispatcher);

  bool ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

  HWND message_hwnd() const { return message_hwnd_; }

 private:
  // What the window procedure keeps to go on after an exception that its
  // filter handled.
  struct ResumePoint {
    RunState* state = nullptr;
    Delegate::ResumePoint delegate_point;
  };

  static LRESULT CALLBACK WrappedWindowProc(HWND hwnd,
                                            UINT message,
                                            WPARAM wparam,
                                            LPARAM lparam);
  static LRESULT WndProcThunk(MessagePumpForUI* pump,
                              HWND hwnd,
                              UINT message,
                              WPARAM wparam,
                              LPARAM lparam);
  // The pump whose own wake-up or timer |message| is, or null: any process
  // may post or send to the window.
  static MessagePumpForUI* PumpForMessage(HWND hwnd,
                                          UINT message,
                                          WPARAM wparam,
                                          LPARAM lparam);
  ResumePoint SaveResumePoint() const;
  void ResumeAt(const ResumePoint& point);
  void DoRunLoop() override;
  void InitMessageWnd();
  void WaitForWork();
  void HandleWorkMessage();
  void HandleTimerMessage(UINT_PTR id);
  // The work of a wake-up or timer taken by the window procedure.
  void DoWorkFromWindow();
  void RescheduleTimer();
  bool ProcessNextWindowsMessage();
  bool ProcessMessageHelper(const MSG& msg);
  bool ProcessPumpReplacementMessage();
  // Whether |msg| is this pump's own wake-up.
  bool IsWorkMessage(const MSG& msg) const;
  bool HasSentMessages() const;
  // The timer of the delayed work, and the one that stands in for a
  // wake-up that could not be posted: neither may move the other.
  UINT_PTR TimerId() const;
  UINT_PTR WakeUpTimerId() const;

  // Carried by our wake-ups and named by our timer; no other program can
  // guess it, though the window's class name gives away our address.
  const UINT_PTR secret_;
  // The thread whose messages the pump serves; only there is a run's state
  // read.
  const DWORD thread_id_;
  HMODULE instance_ = nullptr;
  ATOM atom_ = 0;
  HWND message_hwnd_ = nullptr;
};

// Serves an I/O completion port and hands completions to their handlers.
class MessagePumpForIO : public MessagePumpWin {
 public:
  // Begins with the OVERLAPPED of an operation; its address is the
  // operation's overlapped pointer.
  struct IOContext {
    IOContext();
    OVERLAPPED overlapped;
  };

  class IOHandler {
   public:
    virtual ~IOHandler() = default;
    virtual void OnIOCompleted(IOContext* context,
                               DWORD bytes_transferred,
                               DWORD error) = 0;
  };

  MessagePumpForIO();
  ~MessagePumpForIO() override;

  bool ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

  // Completions of |file| go to |handler|.
  void RegisterIOHandler(HANDLE file, IOHandler* handler);

  // Waits up to |timeout| ms for one completion and handles it; with a
  // |filter|, completions for other handlers are held for later. False when
  // nothing arrived.
  bool WaitForIOCompletion(DWORD timeout, IOHandler* filter);

 private:
  struct IOItem {
    IOHandler* handler;
    IOContext* context;
    DWORD bytes_transferred;
    DWORD error;
  };

  void DoRunLoop() override;
  void WaitForWork();
  bool TakeHeldItem(IOHandler* filter, IOItem* item);
  bool GetIOItem(DWORD timeout, IOItem* item);
  bool ProcessInternalIOItem(const IOItem& item);

  win::ScopedHandle port_;
  std::list<IOItem> completed_io_;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_WIN_H_
