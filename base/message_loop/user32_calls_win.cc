#include "base/message_loop/user32_calls_win.h"


namespace base {
namespace internal {

namespace {

template <typename T>
void Resolve(HMODULE user32, const char* name, T* out) {
  FARPROC proc = ::GetProcAddress(user32, name);
  if (!proc)
    __builtin_trap();
  *out = reinterpret_cast<T>(reinterpret_cast<void*>(proc));
}

void ResolveAll(PumpPlatformCalls* calls) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (!user32)
    __builtin_trap();
  Resolve(user32, "TranslateMessage", &calls->translate_message);
  Resolve(user32, "DispatchMessageW", &calls->dispatch_message);
  Resolve(user32, "PeekMessageW", &calls->peek_message);
  Resolve(user32, "PostMessageW", &calls->post_message);
  Resolve(user32, "DefWindowProcW", &calls->def_window_proc);
  Resolve(user32, "PostQuitMessage", &calls->post_quit_message);
  Resolve(user32, "UnregisterClassW", &calls->unregister_class);
  Resolve(user32, "RegisterClassExW", &calls->register_class_ex);
  Resolve(user32, "CreateWindowExW", &calls->create_window_ex);
  Resolve(user32, "DestroyWindow", &calls->destroy_window);
  Resolve(user32, "CallMsgFilterW", &calls->call_msg_filter);
  Resolve(user32, "GetQueueStatus", &calls->get_queue_status);
  Resolve(user32, "MsgWaitForMultipleObjectsEx",
          &calls->msg_wait_for_multiple_objects_ex);
  Resolve(user32, "SetTimer", &calls->set_timer);
  Resolve(user32, "KillTimer", &calls->kill_timer);
  Resolve(user32, "SetWindowLongPtrW", &calls->set_window_long_ptr);
  Resolve(user32, "GetWindowLongPtrW", &calls->get_window_long_ptr);
  calls->post_queued_completion_status = &::PostQueuedCompletionStatus;
}

}  // namespace

PumpPlatformCalls* GetPumpPlatformCalls() {
  // Resolved by the first caller, before any pump window exists.
  static PumpPlatformCalls* calls = [] {
    auto* resolved = new PumpPlatformCalls();
    ResolveAll(resolved);
    return resolved;
  }();
  return calls;
}

}  // namespace internal
}  // namespace base
