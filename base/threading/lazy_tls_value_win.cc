#include "base/threading/lazy_tls_value.h"

#include <windows.h>

#include "base/logging.h"

namespace base {
namespace internal {

namespace {

constexpr uintptr_t kNone = 0;
constexpr uintptr_t kCreating = 1;
constexpr uintptr_t kIndexOffset = 2;

}  // namespace

uint32_t LazyTlsValue::Index() {
  uintptr_t state = state_.load(std::memory_order_acquire);
  if (state >= kIndexOffset)
    return static_cast<uint32_t>(state - kIndexOffset);
  uintptr_t expected = kNone;
  if (state_.compare_exchange_strong(expected, kCreating)) {
    DWORD index = ::TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES)
      __builtin_trap();
    state_.store(index + kIndexOffset, std::memory_order_release);
    return index;
  }
  while ((state = state_.load(std::memory_order_acquire)) < kIndexOffset)
    ::Sleep(0);
  return static_cast<uint32_t>(state - kIndexOffset);
}

void* LazyTlsValue::Get() {
  return ::TlsGetValue(Index());
}

void LazyTlsValue::Set(void* value) {
  if (!::TlsSetValue(Index(), value))
    PLOG(FATAL) << "Failed to TlsSetValue().";
}

}  // namespace internal
}  // namespace base
