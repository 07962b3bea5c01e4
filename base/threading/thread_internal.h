#ifndef BASE_THREADING_THREAD_INTERNAL_H_
#define BASE_THREADING_THREAD_INTERNAL_H_

#include <stdint.h>

namespace base {
namespace internal {

// Initialises COM on the calling thread: 0 not at all, 1 in a
// single-threaded apartment, 2 in the multi-threaded one. Uninitialises it
// when asked or at the latest when destroyed, only if the initialisation
// succeeded.
class ScopedComInitializer {
 public:
  explicit ScopedComInitializer(uint32_t com_status);
  ~ScopedComInitializer();

  void Uninitialize();

 private:
  bool initialized_ = false;

  ScopedComInitializer(const ScopedComInitializer&) = delete;
  ScopedComInitializer& operator=(const ScopedComInitializer&) = delete;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_THREADING_THREAD_INTERNAL_H_
