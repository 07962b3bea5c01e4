#include "base/message_loop/message_loop_internal.h"

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

}  // namespace internal
}  // namespace base
