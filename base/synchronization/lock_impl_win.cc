#include "base/synchronization/lock_impl.h"

#include <windows.h>

namespace base {
namespace internal {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "SRWLOCK is one pointer");

void LockImpl::Lock() {
  AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&srw_));
}

void LockImpl::Unlock() {
  ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&srw_));
}

}  // namespace internal
}  // namespace base
