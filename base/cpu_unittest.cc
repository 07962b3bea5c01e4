#include "base/cpu.h"

#include <string.h>

#include <map>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

uint32_t Chars(const char* four) {
  uint32_t value;
  memcpy(&value, four, sizeof(value));
  return value;
}

// Answers from a table; unknown leaves answer zeros. Records what was asked
// so that tests can see which instructions would have run.
class FakeCpuidSource : public CpuidSource {
 public:
  CpuidRegisters Cpuid(uint32_t leaf) const override {
    asked_leaves_[leaf]++;
    auto it = leaves.find(leaf);
    return it == leaves.end() ? CpuidRegisters() : it->second;
  }
  uint64_t ReadXcr0() const override {
    ++xcr0_reads_;
    return xcr0;
  }

  bool Asked(uint32_t leaf) const { return asked_leaves_.count(leaf) != 0; }
  int xcr0_reads() const { return xcr0_reads_; }

  std::map<uint32_t, CpuidRegisters> leaves;
  uint64_t xcr0 = 0;

 private:
  mutable std::map<uint32_t, int> asked_leaves_;
  mutable int xcr0_reads_ = 0;
};

constexpr uint32_t kXsave = 1u << 26;
constexpr uint32_t kOsxsave = 1u << 27;
constexpr uint32_t kAvx = 1u << 28;

FakeCpuidSource IntelLike() {
  FakeCpuidSource source;
  source.leaves[0] = {13, Chars("Genu"), Chars("ntel"), Chars("ineI")};
  CpuidRegisters leaf1;
  leaf1.eax = 0x000906EA;
  leaf1.ecx = 1u | (1u << 9) | (1u << 19) | (1u << 20) | (1u << 25) | kXsave |
              kOsxsave | kAvx;
  leaf1.edx = (1u << 23) | (1u << 25) | (1u << 26);
  source.leaves[1] = leaf1;
  source.leaves[7] = {0, 1u << 5, 0, 0};
  source.leaves[0x80000000] = {0x80000008, 0, 0, 0};
  const char brand[49] = "Made-up(R) Core(TM) CPU @ 3.00GHz";
  for (uint32_t i = 0; i < 3; ++i) {
    CpuidRegisters r;
    memcpy(&r.eax, brand + 16 * i, 4);
    memcpy(&r.ebx, brand + 16 * i + 4, 4);
    memcpy(&r.ecx, brand + 16 * i + 8, 4);
    memcpy(&r.edx, brand + 16 * i + 12, 4);
    source.leaves[0x80000002 + i] = r;
  }
  source.leaves[0x80000007] = {0, 0, 0, 1u << 8};
  source.xcr0 = 0x7;
  return source;
}

TEST(CPUTest, DecodesSignatureFlagsAndTexts) {
  CPU cpu(IntelLike());
  EXPECT_EQ(0x000906EA, cpu.signature());
  EXPECT_EQ(0, cpu.type());
  EXPECT_EQ(6, cpu.family());
  EXPECT_EQ(0x9E, cpu.model());
  EXPECT_EQ(0xA, cpu.stepping());
  EXPECT_EQ(9, cpu.extended_model());
  EXPECT_EQ(0, cpu.extended_family());
  EXPECT_TRUE(cpu.has_mmx());
  EXPECT_TRUE(cpu.has_sse());
  EXPECT_TRUE(cpu.has_sse2());
  EXPECT_TRUE(cpu.has_sse3());
  EXPECT_TRUE(cpu.has_ssse3());
  EXPECT_TRUE(cpu.has_sse41());
  EXPECT_TRUE(cpu.has_sse42());
  EXPECT_TRUE(cpu.has_aesni());
  EXPECT_TRUE(cpu.has_avx());
  EXPECT_TRUE(cpu.has_avx2());
  EXPECT_TRUE(cpu.has_non_stop_time_stamp_counter());
  EXPECT_EQ("GenuineIntel", cpu.vendor());
  EXPECT_EQ("Made-up(R) Core(TM) CPU @ 3.00GHz", cpu.brand());
}

TEST(CPUTest, AvxNeedsTheSystemToSaveItsState) {
  FakeCpuidSource source = IntelLike();
  source.xcr0 = 0x3;  // AVX state not enabled by the system.
  CPU without_ymm(source);
  EXPECT_FALSE(without_ymm.has_avx());
  EXPECT_FALSE(without_ymm.has_avx2());
  EXPECT_TRUE(without_ymm.has_sse42());

  source.xcr0 = 0;
  CPU without_any(source);
  EXPECT_FALSE(without_any.has_avx());
  EXPECT_FALSE(without_any.has_avx2());
}

TEST(CPUTest, XgetbvIsNotRunWithoutOsxsave) {
  FakeCpuidSource source = IntelLike();
  source.leaves[1].ecx &= ~kOsxsave;
  CPU cpu(source);
  EXPECT_EQ(0, source.xcr0_reads());
  EXPECT_FALSE(cpu.has_avx());
  EXPECT_FALSE(cpu.has_avx2());
}

TEST(CPUTest, LeavesBeyondTheReportedMaximumAreNotRead) {
  FakeCpuidSource source = IntelLike();
  source.leaves[0].eax = 6;
  source.leaves[0x80000000].eax = 0x80000003;
  CPU cpu(source);
  EXPECT_TRUE(cpu.has_avx());
  EXPECT_FALSE(cpu.has_avx2());
  EXPECT_FALSE(source.Asked(7));
  EXPECT_FALSE(source.Asked(0x80000002));
  EXPECT_FALSE(source.Asked(0x80000007));
  EXPECT_EQ("", cpu.brand());
  EXPECT_FALSE(cpu.has_non_stop_time_stamp_counter());

  FakeCpuidSource basic_only = IntelLike();
  basic_only.leaves[0].eax = 0;
  CPU nothing(basic_only);
  EXPECT_FALSE(basic_only.Asked(1));
  EXPECT_EQ("GenuineIntel", nothing.vendor());
  EXPECT_EQ(0, nothing.signature());
  EXPECT_FALSE(nothing.has_sse2());
}

TEST(CPUTest, ThisProcessor) {
  // Every x86-64 processor has SSE2; the texts come from the instructions.
  CPU cpu;
  EXPECT_TRUE(cpu.has_sse2());
  EXPECT_TRUE(cpu.has_sse());
  EXPECT_EQ(12u, cpu.vendor().size());
  EXPECT_NE(0, cpu.family());
}

}  // namespace
}  // namespace base
