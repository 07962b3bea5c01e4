#include "base/rand_util.h"

#include <windows.h>

// RtlGenRandom is exported from advapi32 only under this name.
extern "C" BOOLEAN NTAPI SystemFunction036(PVOID buffer, ULONG length);

namespace base {
namespace internal {

bool SystemRandomBytes(void* output, size_t size) {
  char* out = static_cast<char*>(output);
  while (size > 0) {
    const ULONG chunk = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
    if (!SystemFunction036(out, chunk))
      return false;
    out += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace internal
}  // namespace base
