#ifndef BASE_SYNCHRONIZATION_LOCK_IMPL_H_
#define BASE_SYNCHRONIZATION_LOCK_IMPL_H_

#if !defined(_WIN32)
#include <mutex>
#endif

namespace base {
namespace internal {

// The bare exclusive lock under Lock, without the wait reporting.
class LockImpl {
 public:
  constexpr LockImpl() = default;
  LockImpl(const LockImpl&) = delete;
  LockImpl& operator=(const LockImpl&) = delete;

#if defined(_WIN32)
  void Lock();
  void Unlock();
  // The SRW lock word, for SleepConditionVariableSRW.
  void* native_handle() { return &srw_; }

 private:
  // Storage of an SRWLOCK (one pointer, 0 when free), declared here so that
  // the header needs no windows.h.
  void* srw_ = nullptr;
#else
  void Lock() { mutex_.lock(); }
  void Unlock() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
#endif
};

}  // namespace internal
}  // namespace base

#endif  // BASE_SYNCHRONIZATION_LOCK_IMPL_H_
