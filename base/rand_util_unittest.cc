#include "base/rand_util.h"

#include <string.h>

#include <limits>
#include <set>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

// Hands out a scripted sequence of 64-bit draws.
std::vector<uint64_t>* g_script = nullptr;
size_t g_drawn = 0;

bool ScriptedBytes(void* output, size_t size) {
  if (size != sizeof(uint64_t) || g_drawn >= g_script->size())
    return false;
  memcpy(output, &(*g_script)[g_drawn++], size);
  return true;
}

bool FailingBytes(void*, size_t) {
  return false;
}

class ScriptedRandTest : public testing::Test {
 protected:
  void SetUp() override {
    g_script = &script_;
    g_drawn = 0;
    previous_ = SetRandomBytesSourceForTesting(&ScriptedBytes);
  }
  void TearDown() override {
    SetRandomBytesSourceForTesting(previous_);
    g_script = nullptr;
  }

  std::vector<uint64_t> script_;
  RandomBytesSource previous_ = nullptr;
};

constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();

TEST_F(ScriptedRandTest, DrawsAgainAboveTheLastWholeMultiple) {
  // 2^64 - 1 is a multiple of 3, so only the very last value is unfair.
  script_ = {kMax64, kMax64 - 1};
  EXPECT_EQ((kMax64 - 1) % 3, RandGenerator(3));
  EXPECT_EQ(2u, g_drawn);

  g_drawn = 0;
  const uint64_t half_plus_one = (1ULL << 63) + 1;
  script_ = {half_plus_one, 1ULL << 63};
  EXPECT_EQ(1ULL << 63, RandGenerator(half_plus_one));
  EXPECT_EQ(2u, g_drawn);

  g_drawn = 0;
  script_ = {kMax64, 12345};
  EXPECT_EQ(0u, RandGenerator(1));
  EXPECT_EQ(2u, g_drawn);
}

TEST_F(ScriptedRandTest, FullIntRangeWithoutOverflow) {
  const int kMin = std::numeric_limits<int>::min();
  const int kMaxInt = std::numeric_limits<int>::max();
  script_ = {0, 0xFFFFFFFFULL, 0x80000000ULL, kMax64, 7};
  EXPECT_EQ(kMin, RandInt(kMin, kMaxInt));
  EXPECT_EQ(kMaxInt, RandInt(kMin, kMaxInt));
  EXPECT_EQ(0, RandInt(kMin, kMaxInt));
  // The top value is unfair for a 2^32 range and is drawn again.
  EXPECT_EQ(kMin + 7, RandInt(kMin, kMaxInt));
  EXPECT_EQ(5u, g_drawn);
}

TEST_F(ScriptedRandTest, NegativeBounds) {
  script_ = {0, 1, 2, 3};
  EXPECT_EQ(-3, RandInt(-3, -1));
  EXPECT_EQ(-2, RandInt(-3, -1));
  EXPECT_EQ(-1, RandInt(-3, -1));
  EXPECT_EQ(-3, RandInt(-3, -1));
}

TEST(RandUtilTest, SystemGenerator) {
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(5, RandInt(5, 5));
  std::set<int> seen;
  for (int i = 0; i < 1000; ++i) {
    int value = RandInt(-2, 7);
    ASSERT_GE(value, -2);
    ASSERT_LE(value, 7);
    seen.insert(value);
  }
  EXPECT_EQ(10u, seen.size());
  uint64_t a = RandGenerator(kMax64);
  uint64_t b = RandGenerator(kMax64);
  uint64_t c = RandGenerator(kMax64);
  EXPECT_FALSE(a == b && b == c);
}

TEST(RandUtilDeathTest, MisuseAndFailureEndTheProcess) {
  EXPECT_DEATH(RandGenerator(0), "range");
  EXPECT_DEATH(RandInt(2, 1), "min");
  EXPECT_DEATH(
      {
        SetRandomBytesSourceForTesting(&FailingBytes);
        RandGenerator(10);
      },
      "random generator failed");
}

}  // namespace
}  // namespace base
