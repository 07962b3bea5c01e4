#include "base/debug/stack_trace.h"

#include <stdint.h>

#include "gtest/gtest.h"

namespace base {
namespace debug {
namespace {

// Recurses deeper than the trace can hold; not inlined so that every level
// is a frame of its own.
__attribute__((noinline)) size_t CaptureAtDepth(int depth, StackTrace* out) {
  if (depth == 0) {
    *out = StackTrace();
    size_t count = 0;
    out->Addresses(&count);
    return count;
  }
  size_t count = CaptureAtDepth(depth - 1, out);
  // Keeps the call from becoming a tail call.
  __asm__ __volatile__("" : : "r"(&count) : "memory");
  return count;
}

TEST(StackTraceTest, CapturesCallersUpToTheLimit) {
  StackTrace here;
  size_t count = 0;
  const void* const* addresses = here.Addresses(&count);
  ASSERT_GT(count, 1u);
  ASSERT_LE(count, StackTrace::kMaxTraces);
  // The outermost frames of a thread may have no address; ours do.
  EXPECT_NE(nullptr, addresses[0]);
  EXPECT_NE(nullptr, addresses[1]);

  StackTrace deep;
  EXPECT_EQ(StackTrace::kMaxTraces, CaptureAtDepth(100, &deep));

  // Two captures from different depths differ in length.
  StackTrace shallow;
  size_t deep_count = CaptureAtDepth(5, &deep);
  size_t shallow_count = 0;
  shallow.Addresses(&shallow_count);
  EXPECT_GT(deep_count, shallow_count);
}

}  // namespace
}  // namespace debug
}  // namespace base
