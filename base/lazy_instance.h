#ifndef BASE_LAZY_INSTANCE_H_
#define BASE_LAZY_INSTANCE_H_

#include <stdint.h>

#include <atomic>
#include <new>

namespace base {

namespace internal {

// The state word of a lazy instance: 0 before creation, 1 while one thread
// creates it, afterwards the object's address.
constexpr uintptr_t kLazyInstanceCreating = 1;

// Yields until the creating thread has published the object and returns its
// address. For singletons that construct in line with the same protocol.
uintptr_t WaitForInstance(std::atomic<uintptr_t>* state);

}  // namespace internal

// A process-wide object built on first use in static storage, safe to
// reach from any thread, never destroyed. A LazyInstance must have static
// storage duration so that it starts zeroed before any code runs.
template <typename T>
class LazyInstance {
 public:
  constexpr LazyInstance() = default;
  LazyInstance(const LazyInstance&) = delete;
  LazyInstance& operator=(const LazyInstance&) = delete;

  T* Pointer() {
    const uintptr_t value = state_.load(std::memory_order_acquire);
    if (value > internal::kLazyInstanceCreating)
      return reinterpret_cast<T*>(value);
    uintptr_t expected = 0;
    if (state_.compare_exchange_strong(expected, internal::kLazyInstanceCreating,
                                       std::memory_order_acquire)) {
      T* instance = new (storage_) T();
      state_.store(reinterpret_cast<uintptr_t>(instance), std::memory_order_release);
      return instance;
    }
    return reinterpret_cast<T*>(internal::WaitForInstance(&state_));
  }
  T& Get() { return *Pointer(); }

 private:
  std::atomic<uintptr_t> state_{0};
  alignas(T) unsigned char storage_[sizeof(T)] = {};
};

}  // namespace base

#endif  // BASE_LAZY_INSTANCE_H_
