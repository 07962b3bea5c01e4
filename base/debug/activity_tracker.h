#ifndef BASE_DEBUG_ACTIVITY_TRACKER_H_
#define BASE_DEBUG_ACTIVITY_TRACKER_H_

namespace base {
namespace debug {

// Scopes that mark the waits and task runs of a thread for the activity
// tracker. This program never creates a tracker, so a scope records
// nothing; it must stay free of locks and allocation because Lock itself
// opens one.

class ScopedLockAcquireActivity {
 public:
  explicit ScopedLockAcquireActivity(const void* lock) {}
  ScopedLockAcquireActivity(const ScopedLockAcquireActivity&) = delete;
  ScopedLockAcquireActivity& operator=(const ScopedLockAcquireActivity&) = delete;
};

class ScopedEventWaitActivity {
 public:
  explicit ScopedEventWaitActivity(const void* event) {}
  ScopedEventWaitActivity(const ScopedEventWaitActivity&) = delete;
  ScopedEventWaitActivity& operator=(const ScopedEventWaitActivity&) = delete;
};

class ScopedThreadJoinActivity {
 public:
  explicit ScopedThreadJoinActivity(const void* thread_handle) {}
  ScopedThreadJoinActivity(const ScopedThreadJoinActivity&) = delete;
  ScopedThreadJoinActivity& operator=(const ScopedThreadJoinActivity&) = delete;
};

class ScopedTaskRunActivity {
 public:
  template <typename Task>
  explicit ScopedTaskRunActivity(const Task& task) {}
  ScopedTaskRunActivity(const ScopedTaskRunActivity&) = delete;
  ScopedTaskRunActivity& operator=(const ScopedTaskRunActivity&) = delete;
};

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_ACTIVITY_TRACKER_H_
