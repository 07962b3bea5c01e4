#include "base/message_loop/message_loop_win.h"

#include "base/logging.h"
#include "base/message_loop/message_loop_internal.h"
#include "base/message_loop/message_pump_default.h"

namespace base {

// static
MessageLoopForUI* MessageLoopForUI::current() {
  MessageLoop* loop = MessageLoop::current();
  CHECK(loop && loop->IsType(TYPE_UI));
  return static_cast<MessageLoopForUI*>(loop);
}

// static
MessageLoopForIO* MessageLoopForIO::current() {
  MessageLoop* loop = MessageLoop::current();
  CHECK(loop && loop->IsType(TYPE_IO));
  return static_cast<MessageLoopForIO*>(loop);
}

MessagePumpForIO* MessageLoopForIO::pump_io() const {
  return static_cast<MessagePumpForIO*>(pump());
}

void MessageLoopForIO::RegisterIOHandler(HANDLE file, IOHandler* handler) {
  pump_io()->RegisterIOHandler(file, handler);
}

bool MessageLoopForIO::WaitForIOCompletion(DWORD timeout, IOHandler* filter) {
  return pump_io()->WaitForIOCompletion(timeout, filter);
}

namespace internal {

std::unique_ptr<MessagePump> CreatePlatformMessagePump(
    MessageLoop::Type type) {
  if (type == MessageLoop::TYPE_UI)
    return std::make_unique<MessagePumpForUI>();
  if (type == MessageLoop::TYPE_IO)
    return std::make_unique<MessagePumpForIO>();
  return std::make_unique<MessagePumpDefault>();
}

void ActivateHighResolutionTimer(bool activate) {
  Time::ActivateHighResolutionTimer(activate);
}

int CaptureRegistrationTrace(const void** frames, int max_frames) {
  // Skips this function's own frame.
  return ::RtlCaptureStackBackTrace(1, max_frames,
                                    const_cast<void**>(frames), nullptr);
}

void RunPump(MessageLoop* loop, MessagePumpDispatcher* dispatcher) {
  if (dispatcher && loop->IsType(MessageLoop::TYPE_UI)) {
    static_cast<MessagePumpForUI*>(loop->pump())
        ->RunWithDispatcher(loop, dispatcher);
    return;
  }
  loop->pump()->Run(loop);
}

}  // namespace internal
}  // namespace base
