#include "base/debug/alias.h"

namespace base {

__attribute__((noinline)) void DebugAlias(const void* var) {
  // The empty asm keeps the compiler from proving the call useless.
  asm volatile("" : : "r"(var) : "memory");
}

}  // namespace base
