#include "base/allocator/winheap_stubs_win.h"

#include <windows.h>

namespace base {
namespace allocator {

void* WinHeapMalloc(size_t size) {
  if (size >= kMaxWindowsAllocation)
    return nullptr;
  return HeapAlloc(GetProcessHeap(), 0, size);
}

void WinHeapFree(void* address) {
  if (!address)
    return;
  HeapFree(GetProcessHeap(), 0, address);
}

void* WinHeapRealloc(void* address, size_t size) {
  if (!address)
    return WinHeapMalloc(size);
  if (!size) {
    WinHeapFree(address);
    return nullptr;
  }
  if (size >= kMaxWindowsAllocation)
    return nullptr;
  return HeapReAlloc(GetProcessHeap(), 0, address, size);
}

size_t WinHeapGetSizeEstimate(void* address) {
  if (!address)
    return 0;
  SIZE_T size = HeapSize(GetProcessHeap(), 0, address);
  return (size + 8 + 7) & ~size_t{7};
}

}  // namespace allocator
}  // namespace base
