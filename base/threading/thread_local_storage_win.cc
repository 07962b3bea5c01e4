#include <windows.h>

#include <atomic>

#include "base/threading/thread_local_storage_internal.h"

namespace base {

namespace {

std::atomic<DWORD> g_tls_index{TLS_OUT_OF_INDEXES};

DWORD GetOrCreateTlsIndex() {
  DWORD index = g_tls_index.load(std::memory_order_acquire);
  if (index != TLS_OUT_OF_INDEXES)
    return index;
  const DWORD fresh = TlsAlloc();
  if (fresh == TLS_OUT_OF_INDEXES)
    __builtin_trap();
  if (!g_tls_index.compare_exchange_strong(index, fresh, std::memory_order_acq_rel)) {
    // Another thread published first; use its index.
    TlsFree(fresh);
    return index;
  }
  return fresh;
}

void NTAPI OnTlsCallback(PVOID module, DWORD reason, PVOID reserved) {
  if (reason != DLL_THREAD_DETACH && reason != DLL_PROCESS_DETACH)
    return;
  const DWORD index = g_tls_index.load(std::memory_order_acquire);
  if (index == TLS_OUT_OF_INDEXES)
    return;
  if (void* vector = TlsGetValue(index))
    internal::OnThreadExit(vector);
}

}  // namespace

namespace internal {

void* PlatformTlsGet() {
  return TlsGetValue(GetOrCreateTlsIndex());
}

void PlatformTlsSet(void* vector) {
  TlsSetValue(GetOrCreateTlsIndex(), vector);
}

}  // namespace internal

}  // namespace base

// The loader calls the callbacks listed between the runtime's .CRT$XLA and
// .CRT$XLZ markers at every thread and process detach; referring to the
// runtime's TLS directory makes the linker keep it in the image.
extern "C" {
extern const IMAGE_TLS_DIRECTORY _tls_used;
__attribute__((used)) const void* const palvo_tls_directory_reference = &_tls_used;
__attribute__((section(".CRT$XLB"), used)) PIMAGE_TLS_CALLBACK palvo_tls_thread_exit_callback =
    base::OnTlsCallback;
}
