#include "base/allocator/allocator_shim.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/allocator/winheap_stubs_win.h"
#include "gtest/gtest.h"
#include "testing/expect_trap.h"

namespace base {
namespace allocator {
namespace {

bool OnProcessHeap(const void* p) {
  return HeapValidate(GetProcessHeap(), 0, p) != FALSE;
}

// A record in front of the chain that notes the blocks the test's thread
// allocates and frees, in fixed room so that noting allocates nothing, and
// forwards every call.
class ScopedRecorder {
 public:
  ScopedRecorder() {
    allocated_ = Blocks();
    freed_ = Blocks();
    thread_ = GetCurrentThreadId();
    InsertAllocatorDispatchForTesting(&dispatch_);
  }
  ~ScopedRecorder() { RemoveAllocatorDispatchForTesting(&dispatch_); }

  static bool Allocated(const void* p) { return allocated_.Holds(p); }
  static bool Freed(const void* p) { return freed_.Holds(p); }

 private:
  struct Blocks {
    const void* blocks[16] = {};
    size_t count = 0;

    void Note(const void* p) {
      if (p && GetCurrentThreadId() == thread_ && count < 16)
        blocks[count++] = p;
    }
    bool Holds(const void* p) const {
      return std::find(blocks, blocks + count, p) != blocks + count;
    }
  };

  static void* Alloc(const AllocatorDispatch* self, size_t size) {
    void* p = self->next->alloc_function(self->next, size);
    allocated_.Note(p);
    return p;
  }
  static void* AllocZeroed(const AllocatorDispatch* self, size_t n, size_t size) {
    return self->next->alloc_zero_initialized_function(self->next, n, size);
  }
  static void* AllocAligned(const AllocatorDispatch* self, size_t alignment,
                            size_t size) {
    return self->next->alloc_aligned_function(self->next, alignment, size);
  }
  static void* Realloc(const AllocatorDispatch* self, void* p, size_t size) {
    return self->next->realloc_function(self->next, p, size);
  }
  static void Free(const AllocatorDispatch* self, void* p) {
    freed_.Note(p);
    self->next->free_function(self->next, p);
  }
  static size_t SizeEstimate(const AllocatorDispatch* self, void* p) {
    return self->next->get_size_estimate_function(self->next, p);
  }

  static DWORD thread_;
  static Blocks allocated_;
  static Blocks freed_;
  AllocatorDispatch dispatch_ = {&Alloc, &AllocZeroed, &AllocAligned, &Realloc,
                                 &Free,  &SizeEstimate, nullptr};
};

DWORD ScopedRecorder::thread_ = 0;
ScopedRecorder::Blocks ScopedRecorder::allocated_;
ScopedRecorder::Blocks ScopedRecorder::freed_;

TEST(AllocatorShimTest, EntryPointsUseTheProcessHeap) {
  void* p = ShimMalloc(24);
  ASSERT_NE(nullptr, p);
  EXPECT_TRUE(OnProcessHeap(p));
  EXPECT_EQ(32u, WinHeapGetSizeEstimate(p));
  EXPECT_EQ(0u, WinHeapGetSizeEstimate(nullptr));
  ShimFree(p);
  ShimFree(nullptr);
  EXPECT_EQ(nullptr, GetChainHead()->next);
}

TEST(AllocatorShimTest, OperatorNewAndDeleteGoThroughTheChain) {
  const AllocatorDispatch* head = GetChainHead();
  auto object = std::make_unique<std::string>(100, 'x');
  char* array = new char[0];
  {
    ScopedRecorder recorder;
    object = std::make_unique<std::string>(100, 'y');
    EXPECT_TRUE(ScopedRecorder::Allocated(object.get()));
    EXPECT_TRUE(ScopedRecorder::Allocated(object->data()));
    // A block from before the record came in goes back through it.
    delete[] array;
    EXPECT_TRUE(ScopedRecorder::Freed(array));
    array = new char[0];
    EXPECT_TRUE(ScopedRecorder::Allocated(array));
  }
  EXPECT_EQ(head, GetChainHead());
  delete[] array;
}

TEST(AllocatorShimTest, CallocZeroesAndRefusesOverflow) {
  unsigned char* p = static_cast<unsigned char*>(ShimCalloc(7, 9));
  ASSERT_NE(nullptr, p);
  for (int i = 0; i < 63; ++i)
    ASSERT_EQ(0, p[i]);
  ShimFree(p);
  EXPECT_EQ(nullptr, ShimCalloc(SIZE_MAX / 2 + 2, 2));
  EXPECT_EQ(nullptr, ShimCalloc(SIZE_MAX, SIZE_MAX));
  void* empty = ShimCalloc(5, 0);  // No overflow: an empty block.
  ShimFree(empty);
}

TEST(AllocatorShimTest, ReallocEdges) {
  char* p = static_cast<char*>(ShimRealloc(nullptr, 10));
  ASSERT_NE(nullptr, p);
  memcpy(p, "abcdefghi", 10);
  p = static_cast<char*>(ShimRealloc(p, 4000));
  ASSERT_NE(nullptr, p);
  EXPECT_STREQ("abcdefghi", p);

  // Too large: null, and the block stays as it was.
  EXPECT_EQ(nullptr, ShimRealloc(p, kMaxWindowsAllocation));
  EXPECT_TRUE(OnProcessHeap(p));
  EXPECT_STREQ("abcdefghi", p);

  EXPECT_EQ(nullptr, ShimRealloc(p, 0));  // Frees.
}

TEST(AllocatorShimTest, SizeLimit) {
  EXPECT_EQ(nullptr, ShimMalloc(kMaxWindowsAllocation));
  EXPECT_EQ(nullptr, ShimMalloc(SIZE_MAX));
  std::unique_ptr<char, decltype(&ShimFree)> big(
      static_cast<char*>(ShimMalloc(kMaxWindowsAllocation - 1)), &ShimFree);
  // The heap may refuse that much; the shim must not.
  if (big)
    EXPECT_TRUE(OnProcessHeap(big.get()));
}

TEST(AllocatorShimDeathTest, AlignedAllocationEndsTheProcess) {
  const AllocatorDispatch* head = GetChainHead();
  EXPECT_TRAP_DEATH(head->alloc_aligned_function(head, 64, 64));
}

}  // namespace
}  // namespace allocator
}  // namespace base
