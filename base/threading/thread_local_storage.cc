#include "base/threading/thread_local_storage.h"

#include <string.h>

#include <atomic>

#include "base/threading/thread_local_storage_internal.h"

namespace base {

namespace {

using Destructor = ThreadLocalStorage::TLSDestructorFunc;
constexpr int kSize = ThreadLocalStorage::kThreadLocalStorageSize;

std::atomic<int> g_last_used_slot{0};
std::atomic<Destructor> g_destructors[kSize];

void** ConstructTlsVector() {
  if (internal::PlatformTlsGet())
    __builtin_trap();
  // A stack vector first: the allocation below may reach code that uses a
  // slot, which must find a vector rather than build another.
  void* stack_vector[kSize] = {};
  internal::PlatformTlsSet(stack_vector);
  void** heap_vector = new void*[kSize];
  memcpy(heap_vector, stack_vector, sizeof(stack_vector));
  internal::PlatformTlsSet(heap_vector);
  return heap_vector;
}

void** GetTlsVector() {
  void** vector = static_cast<void**>(internal::PlatformTlsGet());
  return vector ? vector : ConstructTlsVector();
}

}  // namespace

namespace internal {

void OnThreadExit(void* heap_vector) {
  // Destructors may set slots again, so they work on a stack copy that
  // stays the thread's vector while the heap one is freed.
  void* stack_vector[kSize];
  memcpy(stack_vector, heap_vector, sizeof(stack_vector));
  PlatformTlsSet(stack_vector);
  delete[] static_cast<void**>(heap_vector);

  Destructor destructors[kSize];
  for (int i = 0; i < kSize; ++i)
    destructors[i] = g_destructors[i].load(std::memory_order_acquire);
  ThreadLocalStorage::RunDestructors(stack_vector, g_last_used_slot.load(), destructors);
  PlatformTlsSet(nullptr);
}

}  // namespace internal

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

void ThreadLocalStorage::RunDestructors(void** values,
                                        int last_used_slot,
                                        const TLSDestructorFunc* destructors) {
  if (last_used_slot >= kThreadLocalStorageSize)
    last_used_slot = kThreadLocalStorageSize - 1;
  for (int pass = 0; pass < kMaxDestructorPasses; ++pass) {
    bool ran_any = false;
    for (int slot = last_used_slot; slot >= 1; --slot) {
      void* value = values[slot];
      TLSDestructorFunc destructor = destructors[slot];
      if (!value || !destructor)
        continue;
      // Cleared first: the destructor may look at or set the slot again.
      values[slot] = nullptr;
      destructor(value);
      ran_any = true;
    }
    if (!ran_any)
      return;
  }
}

}  // namespace base
