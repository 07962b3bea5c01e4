#include "base/threading/thread_local_storage.h"

namespace base {

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
