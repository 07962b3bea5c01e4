#include "base/allocator/allocator_shim.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/allocator/winheap_stubs_win.h"
#include "gtest/gtest.h"

namespace base {
namespace allocator {
namespace {

bool OnProcessHeap(const void* p) {
  return HeapValidate(GetProcessHeap(), 0, p) != FALSE;
}

TEST(AllocatorShimTest, EntryPointsUseTheProcessHeap) {
  void* p = ShimMalloc(24);
  ASSERT_NE(nullptr, p);
  EXPECT_TRUE(OnProcessHeap(p));
  EXPECT_EQ(32u, WinHeapGetSizeEstimate(p));
  EXPECT_EQ(0u, WinHeapGetSizeEstimate(nullptr));
  ShimFree(p);
  ShimFree(nullptr);

  // operator new and the containers that use it come from the shim too.
  auto object = std::make_unique<std::string>(100, 'x');
  EXPECT_TRUE(OnProcessHeap(object.get()));
  EXPECT_TRUE(OnProcessHeap(object->data()));
  char* array = new char[0];
  EXPECT_TRUE(OnProcessHeap(array));
  delete[] array;
  EXPECT_EQ(nullptr, GetChainHead()->next);
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
  EXPECT_DEATH(head->alloc_aligned_function(head, 64, 64), "");
}

}  // namespace
}  // namespace allocator
}  // namespace base
