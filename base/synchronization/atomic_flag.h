#ifndef BASE_SYNCHRONIZATION_ATOMIC_FLAG_H_
#define BASE_SYNCHRONIZATION_ATOMIC_FLAG_H_

#include <stdint.h>

#include <atomic>

namespace base {

// A flag that one thread sets and others poll, for example to cancel work.
class AtomicFlag {
 public:
  constexpr AtomicFlag() = default;
  AtomicFlag(const AtomicFlag&) = delete;
  AtomicFlag& operator=(const AtomicFlag&) = delete;

  void Set() { flag_.store(1, std::memory_order_release); }
  bool IsSet() const { return flag_.load(std::memory_order_acquire) != 0; }

 private:
  std::atomic<uint32_t> flag_{0};
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_ATOMIC_FLAG_H_
