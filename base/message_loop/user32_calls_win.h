#ifndef BASE_MESSAGE_LOOP_USER32_CALLS_WIN_H_
#define BASE_MESSAGE_LOOP_USER32_CALLS_WIN_H_

#include <windows.h>

namespace base {
namespace internal {

// The platform calls of the Windows pumps. The user32 ones are resolved at
// run time, once per process; tests may swap entries to make a call fail.
struct PumpPlatformCalls {
  decltype(&::TranslateMessage) translate_message;
  decltype(&::DispatchMessageW) dispatch_message;
  decltype(&::PeekMessageW) peek_message;
  decltype(&::PostMessageW) post_message;
  decltype(&::DefWindowProcW) def_window_proc;
  decltype(&::PostQuitMessage) post_quit_message;
  decltype(&::UnregisterClassW) unregister_class;
  decltype(&::RegisterClassExW) register_class_ex;
  decltype(&::CreateWindowExW) create_window_ex;
  decltype(&::DestroyWindow) destroy_window;
  decltype(&::CallMsgFilterW) call_msg_filter;
  decltype(&::GetQueueStatus) get_queue_status;
  decltype(&::MsgWaitForMultipleObjectsEx) msg_wait_for_multiple_objects_ex;
  decltype(&::SetTimer) set_timer;
  decltype(&::KillTimer) kill_timer;
  decltype(&::SetWindowLongPtrW) set_window_long_ptr;
  decltype(&::GetWindowLongPtrW) get_window_long_ptr;
  decltype(&::PostQueuedCompletionStatus) post_queued_completion_status;
};

// The process's table, resolved on first use. A missing user32 or function
// ends the process.
PumpPlatformCalls* GetPumpPlatformCalls();

}  // namespace internal
}  // namespace base

#endif  // BASE_MESSAGE_LOOP_USER32_CALLS_WIN_H_
