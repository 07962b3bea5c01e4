#include "base/allocator/allocator_shim.h"

#include <string.h>

#include <atomic>
#include <new>

#include "base/allocator/winheap_stubs_win.h"

namespace base {
namespace allocator {

namespace {

void* DefaultAlloc(const AllocatorDispatch*, size_t size) {
  return WinHeapMalloc(size);
}

void* DefaultAllocZeroInitialized(const AllocatorDispatch*,
                                  size_t n,
                                  size_t size) {
  const size_t total = n * size;
  if (size && total / size != n)
    return nullptr;
  void* result = WinHeapMalloc(total);
  if (result)
    memset(result, 0, total);
  return result;
}

void* DefaultAllocAligned(const AllocatorDispatch*, size_t, size_t) {
  // Nothing in the program asks for it; a caller that does is a bug.
  __builtin_trap();
}

void* DefaultRealloc(const AllocatorDispatch*, void* address, size_t size) {
  return WinHeapRealloc(address, size);
}

void DefaultFree(const AllocatorDispatch*, void* address) {
  WinHeapFree(address);
}

size_t DefaultGetSizeEstimate(const AllocatorDispatch*, void* address) {
  return WinHeapGetSizeEstimate(address);
}

constexpr AllocatorDispatch kDefaultDispatch = {
    &DefaultAlloc,   &DefaultAllocZeroInitialized,
    &DefaultAllocAligned, &DefaultRealloc,
    &DefaultFree,    &DefaultGetSizeEstimate,
    nullptr,
};

// Constant-initialised, so it is set before any allocation, even one made
// by a static initialiser. Only tests ever change it.
std::atomic<const AllocatorDispatch*> g_chain_head{&kDefaultDispatch};

}  // namespace

const AllocatorDispatch* GetChainHead() {
  return g_chain_head.load(std::memory_order_acquire);
}

void InsertAllocatorDispatchForTesting(AllocatorDispatch* dispatch) {
  dispatch->next = GetChainHead();
  g_chain_head.store(dispatch, std::memory_order_release);
}

void RemoveAllocatorDispatchForTesting(AllocatorDispatch* dispatch) {
  if (GetChainHead() == dispatch)
    g_chain_head.store(dispatch->next, std::memory_order_release);
}

}  // namespace allocator
}  // namespace base

using base::allocator::AllocatorDispatch;
using base::allocator::GetChainHead;

void* ShimMalloc(size_t size) {
  const AllocatorDispatch* head = GetChainHead();
  return head->alloc_function(head, size);
}

void* ShimCalloc(size_t n, size_t size) {
  const AllocatorDispatch* head = GetChainHead();
  return head->alloc_zero_initialized_function(head, n, size);
}

void* ShimRealloc(void* address, size_t size) {
  const AllocatorDispatch* head = GetChainHead();
  return head->realloc_function(head, address, size);
}

void ShimFree(void* address) {
  const AllocatorDispatch* head = GetChainHead();
  head->free_function(head, address);
}

// operator new and delete of the whole module go through the shim. The
// throwing forms must never return null (the compiler relies on it) and the
// build has no exceptions, so running out of memory there ends the process;
// the nothrow forms give null.
namespace {

void* NewOrCrash(size_t size) {
  // A zero-sized request still needs a unique address.
  void* result = ShimMalloc(size ? size : 1);
  if (!result)
    __builtin_trap();
  return result;
}

}  // namespace

void* operator new(size_t size) {
  return NewOrCrash(size);
}

void* operator new[](size_t size) {
  return NewOrCrash(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return ShimMalloc(size ? size : 1);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return ShimMalloc(size ? size : 1);
}

void operator delete(void* p) noexcept {
  ShimFree(p);
}

void operator delete[](void* p) noexcept {
  ShimFree(p);
}

void operator delete(void* p, size_t) noexcept {
  ShimFree(p);
}

void operator delete[](void* p, size_t) noexcept {
  ShimFree(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept {
  ShimFree(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept {
  ShimFree(p);
}
