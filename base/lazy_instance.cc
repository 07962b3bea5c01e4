#include "base/lazy_instance.h"

#include <thread>

namespace base {
namespace internal {

uintptr_t WaitForInstance(std::atomic<uintptr_t>* state) {
  // Creation is short and happens once, so giving up the time slice is
  // cheaper than a kernel object that would itself need creating.
  uintptr_t value;
  while ((value = state->load(std::memory_order_acquire)) == kLazyInstanceCreating)
    std::this_thread::yield();
  return value;
}

}  // namespace internal
}  // namespace base
