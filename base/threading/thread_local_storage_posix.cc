// Thread-local storage for the host build, where the slot logic is tested.
#if !defined(_WIN32)

#include <pthread.h>
#include <stdlib.h>

#include "base/threading/thread_local_storage_internal.h"

namespace base {

namespace {

pthread_key_t g_key;
pthread_once_t g_key_once = PTHREAD_ONCE_INIT;

void CreateKey() {
  // The key's destructor is the thread-exit procedure.
  if (pthread_key_create(&g_key, internal::OnThreadExit) != 0)
    abort();
}

pthread_key_t Key() {
  pthread_once(&g_key_once, CreateKey);
  return g_key;
}

}  // namespace

namespace internal {

void* PlatformTlsGet() {
  return pthread_getspecific(Key());
}

void PlatformTlsSet(void* vector) {
  pthread_setspecific(Key(), vector);
}

}  // namespace internal

}  // namespace base

#endif  // !defined(_WIN32)
