#include "base/message_loop/message_loop_internal.h"

#include "base/message_loop/message_pump_default.h"
#include "base/threading/lazy_tls_value.h"

namespace base {
namespace internal {

namespace {

LazyTlsValue g_current_loop;

}  // namespace

MessageLoop* GetCurrentMessageLoop() {
  return static_cast<MessageLoop*>(g_current_loop.Get());
}

void SetCurrentMessageLoop(MessageLoop* message_loop) {
  g_current_loop.Set(message_loop);
}

#if !defined(_WIN32)
// Without Windows every loop serves posted tasks only.
std::unique_ptr<MessagePump> CreatePlatformMessagePump(
    MessageLoop::Type type) {
  return std::make_unique<MessagePumpDefault>();
}

int CaptureRegistrationTrace(const void** frames, int max_frames) {
  return 0;
}

void ActivateHighResolutionTimer(bool activate) {}

void RunPump(MessageLoop* loop, MessagePumpDispatcher* dispatcher) {
  loop->pump()->Run(loop);
}
#endif

}  // namespace internal
}  // namespace base
