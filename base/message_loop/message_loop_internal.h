#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_INTERNAL_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_INTERNAL_H_

#include <memory>

#include "base/message_loop/message_loop.h"

namespace base {

class MessagePumpDispatcher;

namespace internal {

// The calling thread's loop, kept in a thread-local slot.
MessageLoop* GetCurrentMessageLoop();
void SetCurrentMessageLoop(MessageLoop* message_loop);

// The pump for a loop type on this platform.
std::unique_ptr<MessagePump> CreatePlatformMessagePump(MessageLoop::Type type);

// Runs |loop|'s pump; a UI loop given a dispatcher runs with it.
void RunPump(MessageLoop* loop, MessagePumpDispatcher* dispatcher);

// Switches the system's high-resolution timer; calls are balanced.
void ActivateHighResolutionTimer(bool activate);

// Fills |frames| with the caller's caller and up; returns the count.
int CaptureRegistrationTrace(const void** frames, int max_frames);

}  // namespace internal
}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_INTERNAL_H_
