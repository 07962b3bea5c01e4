#ifndef BASE_THREADING_LAZY_TLS_VALUE_H_
#define BASE_THREADING_LAZY_TLS_VALUE_H_

#include <stdint.h>

#include <atomic>

namespace base {
namespace internal {

// One per-thread pointer over a system TLS index of its own, allocated by
// the first user. Instances have static storage duration.
class LazyTlsValue {
 public:
  constexpr LazyTlsValue() = default;
  LazyTlsValue(const LazyTlsValue&) = delete;
  LazyTlsValue& operator=(const LazyTlsValue&) = delete;

  void* Get();
  // A failure to store is fatal.
  void Set(void* value);

 private:
  uint32_t Index();

  // 0: no index; 1: being allocated; otherwise the index plus 2.
  std::atomic<uintptr_t> state_{0};
};

}  // namespace internal
}  // namespace base

#endif  // BASE_THREADING_LAZY_TLS_VALUE_H_
