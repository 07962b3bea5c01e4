#ifndef BASE_THREADING_THREAD_LOCAL_STORAGE_INTERNAL_H_
#define BASE_THREADING_THREAD_LOCAL_STORAGE_INTERNAL_H_

namespace base {
namespace internal {

// The platform's one per-thread pointer that holds a thread's slot vector.
// Get and Set create the process's index on first use.
void* PlatformTlsGet();
void PlatformTlsSet(void* vector);

// The thread-exit procedure for a thread whose vector is heap_vector: runs
// the slot destructors and leaves the thread without a vector. Called by
// the platform's thread-exit hook.
void OnThreadExit(void* heap_vector);

}  // namespace internal
}  // namespace base

#endif  // BASE_THREADING_THREAD_LOCAL_STORAGE_INTERNAL_H_
