#ifndef BASE_DEBUG_STACK_TRACE_H_
#define BASE_DEBUG_STACK_TRACE_H_

#include <stddef.h>

namespace base {
namespace debug {

// The return addresses of the call stack at construction, innermost first.
// Plain data: kept by value wherever a stack is to be remembered.
class StackTrace {
 public:
  static constexpr size_t kMaxTraces = 62;

  // Captures the current stack.
  StackTrace();

  // The captured addresses; |*count| receives how many there are.
  const void* const* Addresses(size_t* count) const;

 private:
  void* trace_[kMaxTraces];
  size_t count_;
};

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_STACK_TRACE_H_
