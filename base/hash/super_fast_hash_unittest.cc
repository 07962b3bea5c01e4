#include "base/hash/super_fast_hash.h"

#include <string.h>

#include <set>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(SuperFastHashTest, EmptyOrNullInputHashesToZero) {
  EXPECT_EQ(0u, SuperFastHash(nullptr, 8));
  EXPECT_EQ(0u, SuperFastHash("abc", 0));
  EXPECT_EQ(0u, SuperFastHash("abc", -1));
}

TEST(SuperFastHashTest, DependsOnEveryByteAndTheLength) {
  // Handle values: 8 bytes each, differing in one byte only.
  std::set<uint32_t> seen;
  for (uint64_t handle = 4; handle < 4 * 1000; handle += 4) {
    char bytes[8];
    memcpy(bytes, &handle, sizeof(bytes));
    seen.insert(SuperFastHash(bytes, sizeof(bytes)));
  }
  EXPECT_EQ(999u, seen.size());

  // Each tail length (1 to 3 leftover bytes) takes its own path; high bytes
  // in the tail are read as signed, which must still be deterministic.
  const std::string text = "\xff\x80" "abcdefg";
  std::set<uint32_t> prefixes;
  for (size_t n = 1; n <= text.size(); ++n) {
    const uint32_t hash = SuperFastHash(text.data(), static_cast<int>(n));
    EXPECT_EQ(hash, SuperFastHash(std::string(text, 0, n).c_str(), static_cast<int>(n)));
    prefixes.insert(hash);
  }
  EXPECT_EQ(text.size(), prefixes.size());
}

TEST(SuperFastHashTest, DoesNotDependOnAlignment) {
  char buffer[32] = "..unaligned handle bytes..";
  const uint32_t aligned = SuperFastHash(buffer + 8, 11);
  char shifted[33];
  memcpy(shifted + 1, buffer, sizeof(buffer));
  EXPECT_EQ(aligned, SuperFastHash(shifted + 9, 11));
}

}  // namespace
}  // namespace base
