#include "base/message_loop/message_loop_internal.h"

#include "base/message_loop/message_pump_default.h"
#include "base/threading/thread_local.h"

namespace base {
namespace internal {

namespace {

ThreadLocalPointer<MessageLoop>& CurrentLoopSlot() {
  static ThreadLocalPointer<MessageLoop>* slot =
      new ThreadLocalPointer<MessageLoop>();
  return *slot;
}

}  // namespace

MessageLoop* GetCurrentMessageLoop() {
  return CurrentLoopSlot().Get();
}

void SetCurrentMessageLoop(MessageLoop* message_loop) {
  CurrentLoopSlot().Set(message_loop);
}

ScopedTaskRunTrace::ScopedTaskRunTrace(const PendingTask& pending_task) {}

ScopedTaskRunTrace::~ScopedTaskRunTrace() {}

#if !defined(_WIN32)
// Without Windows every loop serves posted tasks only.
std::unique_ptr<MessagePump> CreatePlatformMessagePump(
    MessageLoop::Type type) {
  return std::make_unique<MessagePumpDefault>();
}

int CaptureRegistrationTrace(const void** frames, int max_frames) {
  return 0;
}

void RunPump(MessageLoop* loop, MessagePumpDispatcher* dispatcher) {
  loop->pump()->Run(loop);
}
#endif

}  // namespace internal
}  // namespace base
