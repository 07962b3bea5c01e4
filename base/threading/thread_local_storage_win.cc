#include "base/threading/thread_local_storage.h"

#include <windows.h>
#include <string.h>

#include <atomic>

namespace base {

namespace {

using Destructor = ThreadLocalStorage::TLSDestructorFunc;
constexpr int kSize = ThreadLocalStorage::kThreadLocalStorageSize;

std::atomic<DWORD> g_tls_index{TLS_OUT_OF_INDEXES};
std::atomic<int> g_last_used_slot{0};
std::atomic<Destructor> g_destructors[kSize];

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

void** ConstructTlsVector() {
  const DWORD index = GetOrCreateTlsIndex();
  if (TlsGetValue(index))
    __builtin_trap();
  // A stack vector first: the allocation below may reach code that uses a
  // slot, which must find a vector rather than build another.
  void* stack_vector[kSize] = {};
  TlsSetValue(index, stack_vector);
  void** heap_vector = new void*[kSize];
  memcpy(heap_vector, stack_vector, sizeof(stack_vector));
  TlsSetValue(index, heap_vector);
  return heap_vector;
}

void** GetTlsVector() {
  const DWORD index = GetOrCreateTlsIndex();
  void** vector = static_cast<void**>(TlsGetValue(index));
  return vector ? vector : ConstructTlsVector();
}

void OnThreadExit() {
  const DWORD index = g_tls_index.load(std::memory_order_acquire);
  if (index == TLS_OUT_OF_INDEXES)
    return;
  void** heap_vector = static_cast<void**>(TlsGetValue(index));
  if (!heap_vector)
    return;
  // Destructors may set slots again, so they work on a stack copy that
  // stays the thread's vector while the heap one is freed.
  void* stack_vector[kSize];
  memcpy(stack_vector, heap_vector, sizeof(stack_vector));
  TlsSetValue(index, stack_vector);
  delete[] heap_vector;

  Destructor destructors[kSize];
  for (int i = 0; i < kSize; ++i)
    destructors[i] = g_destructors[i].load(std::memory_order_acquire);
  ThreadLocalStorage::RunDestructors(stack_vector, g_last_used_slot.load(), destructors);
  TlsSetValue(index, nullptr);
}

void NTAPI OnTlsCallback(PVOID module, DWORD reason, PVOID reserved) {
  if (reason == DLL_THREAD_DETACH || reason == DLL_PROCESS_DETACH)
    OnThreadExit();
}

}  // namespace

void ThreadLocalStorage::StaticSlot::Initialize(TLSDestructorFunc destructor) {
  GetTlsVector();
  const int new_slot = g_last_used_slot.fetch_add(1) + 1;
  if (new_slot >= kSize)
    __builtin_trap();
  g_destructors[new_slot].store(destructor, std::memory_order_release);
  slot = new_slot;
  initialized = true;
}

void* ThreadLocalStorage::StaticSlot::Get() const {
  return GetTlsVector()[slot];
}

void ThreadLocalStorage::StaticSlot::Set(void* value) {
  GetTlsVector()[slot] = value;
}

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
