#include "base/rand_util.h"

#include <windows.h>

#include <limits>

// RtlGenRandom is exported from advapi32 only under this name.
extern "C" BOOLEAN NTAPI SystemFunction036(PVOID buffer, ULONG length);

namespace base {
namespace internal {

bool SystemRandomBytes(void* output, size_t size) {
  if (size > std::numeric_limits<ULONG>::max())
    return false;
  return SystemFunction036(output, static_cast<ULONG>(size)) != FALSE;
}

}  // namespace internal
}  // namespace base
