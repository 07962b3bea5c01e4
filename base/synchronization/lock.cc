#include "base/synchronization/lock.h"

#include "base/debug/activity_tracker.h"

namespace base {

void Lock::Acquire() {
  // The record covers the wait only, not the time the lock is held.
  debug::ScopedLockAcquireActivity activity(this);
  lock_.Lock();
}

}  // namespace base
