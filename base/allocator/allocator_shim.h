#ifndef BASE_ALLOCATOR_ALLOCATOR_SHIM_H_
#define BASE_ALLOCATOR_ALLOCATOR_SHIM_H_

#include <stddef.h>

namespace base {
namespace allocator {

// One link of the allocation chain. Every function gets its own record
// first, so that a link could forward to `next`.
struct AllocatorDispatch {
  using AllocFn = void* (*)(const AllocatorDispatch* self, size_t size);
  using AllocZeroInitializedFn = void* (*)(const AllocatorDispatch* self,
                                           size_t n,
                                           size_t size);
  using AllocAlignedFn = void* (*)(const AllocatorDispatch* self,
                                   size_t alignment,
                                   size_t size);
  using ReallocFn = void* (*)(const AllocatorDispatch* self,
                              void* address,
                              size_t size);
  using FreeFn = void (*)(const AllocatorDispatch* self, void* address);
  using GetSizeEstimateFn = size_t (*)(const AllocatorDispatch* self,
                                       void* address);

  AllocFn alloc_function;
  AllocZeroInitializedFn alloc_zero_initialized_function;
  AllocAlignedFn alloc_aligned_function;
  ReallocFn realloc_function;
  FreeFn free_function;
  GetSizeEstimateFn get_size_estimate_function;
  const AllocatorDispatch* next;
};

// The record in use: the default one, over the process heap, for the whole
// life of the process.
const AllocatorDispatch* GetChainHead();

// Puts |dispatch| in front of the chain (setting its next), and takes it
// out again, so that a test can see the calls. Its functions must forward
// to next: blocks allocated before and after come from the same heap.
void InsertAllocatorDispatchForTesting(AllocatorDispatch* dispatch);
void RemoveAllocatorDispatchForTesting(AllocatorDispatch* dispatch);

}  // namespace allocator
}  // namespace base

// The module's own allocation entry points; operator new and delete use
// them too. They never replace the C runtime's malloc and free, whose blocks
// live on another heap: memory from one family goes back to the same family.
// A failed allocation gives null; no new handler is called.
void* ShimMalloc(size_t size);
void* ShimCalloc(size_t n, size_t size);
void* ShimRealloc(void* address, size_t size);
void ShimFree(void* address);

#endif  // BASE_ALLOCATOR_ALLOCATOR_SHIM_H_
