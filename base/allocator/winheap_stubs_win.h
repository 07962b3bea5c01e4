#ifndef BASE_ALLOCATOR_WINHEAP_STUBS_WIN_H_
#define BASE_ALLOCATOR_WINHEAP_STUBS_WIN_H_

#include <stddef.h>

namespace base {
namespace allocator {

// Requests of this size or more are refused: the heap's own bookkeeping
// could overflow a 32-bit size near the top.
constexpr size_t kMaxWindowsAllocation = 0x7FFFEFFF;  // INT32_MAX - 4096.

// The process heap, without any check beyond the size limit.
void* WinHeapMalloc(size_t size);
void WinHeapFree(void* address);
// Null address: allocates. Size 0: frees and gives null. Too large: null,
// the block left as it was.
void* WinHeapRealloc(void* address, size_t size);
// The usable size plus an 8-byte header, rounded up to 8; 0 for null.
size_t WinHeapGetSizeEstimate(void* address);

}  // namespace allocator
}  // namespace base

#endif  // BASE_ALLOCATOR_WINHEAP_STUBS_WIN_H_
