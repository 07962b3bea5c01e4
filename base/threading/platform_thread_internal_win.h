#ifndef BASE_THREADING_PLATFORM_THREAD_INTERNAL_WIN_H_
#define BASE_THREADING_PLATFORM_THREAD_INTERNAL_WIN_H_

#include <stdint.h>

#include "base/threading/platform_thread.h"

namespace base {
namespace internal {

// The exception a debugger reads thread names from.
constexpr uint32_t kThreadNameExceptionCode = 0x406D1388;

struct ThreadNameInfo {
  uint32_t type;  // Always 0x1000.
  const char* name;
  uint32_t thread_id;
  uint32_t flags;
};

// Raises the naming exception; returns whether or not a debugger took it.
void RaiseThreadNameException(const char* name, PlatformThreadId thread_id);

}  // namespace internal
}  // namespace base

#endif  // BASE_THREADING_PLATFORM_THREAD_INTERNAL_WIN_H_
