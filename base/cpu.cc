#include "base/cpu.h"

#include <cpuid.h>
#include <string.h>

namespace base {

namespace {

constexpr uint32_t kExtendedLeafBase = 0x80000000;
constexpr uint32_t kBrandFirstLeaf = 0x80000002;
constexpr uint32_t kBrandLastLeaf = 0x80000004;
constexpr uint32_t kPowerManagementLeaf = 0x80000007;

bool Bit(uint32_t value, int bit) {
  return (value >> bit) & 1;
}

class InstructionCpuidSource : public CpuidSource {
 public:
  CpuidRegisters Cpuid(uint32_t leaf) const override {
    CpuidRegisters r;
    __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
    return r;
  }

  uint64_t ReadXcr0() const override {
    // Spelled as an instruction so that no -mxsave is needed; callers make
    // sure the system enabled it first, or it would fault.
    uint32_t low = 0;
    uint32_t high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<uint64_t>(high) << 32) | low;
  }
};

void AppendRegister(uint32_t value, std::string* out) {
  char bytes[4];
  memcpy(bytes, &value, sizeof(bytes));
  out->append(bytes, sizeof(bytes));
}

}  // namespace

CPU::CPU() {
  Initialize(InstructionCpuidSource());
}

CPU::CPU(const CpuidSource& source) {
  Initialize(source);
}

void CPU::Initialize(const CpuidSource& source) {
  const CpuidRegisters leaf0 = source.Cpuid(0);
  const uint32_t max_leaf = leaf0.eax;
  vendor_.clear();
  AppendRegister(leaf0.ebx, &vendor_);
  AppendRegister(leaf0.edx, &vendor_);
  AppendRegister(leaf0.ecx, &vendor_);

  if (max_leaf > 0) {
    const CpuidRegisters leaf1 = source.Cpuid(1);
    const uint32_t sig = leaf1.eax;
    signature_ = static_cast<int>(sig);
    type_ = (sig >> 12) & 3;
    family_ = (sig >> 8) & 0xF;
    model_ = ((sig >> 4) & 0xF) + ((sig >> 12) & 0xF0);
    stepping_ = sig & 0xF;
    extended_model_ = (sig >> 16) & 0xF;
    extended_family_ = (sig >> 20) & 0xFF;

    has_mmx_ = Bit(leaf1.edx, 23);
    has_sse_ = Bit(leaf1.edx, 25);
    has_sse2_ = Bit(leaf1.edx, 26);
    has_sse3_ = Bit(leaf1.ecx, 0);
    has_ssse3_ = Bit(leaf1.ecx, 9);
    has_sse41_ = Bit(leaf1.ecx, 19);
    has_sse42_ = Bit(leaf1.ecx, 20);
    has_aesni_ = Bit(leaf1.ecx, 25);

    // AVX needs the instructions (XSAVE, OSXSAVE, AVX) and the system's
    // promise to save the SSE and AVX register state (XCR0 bits 1 and 2).
    const bool avx_instructions =
        Bit(leaf1.ecx, 26) && Bit(leaf1.ecx, 27) && Bit(leaf1.ecx, 28);
    has_avx_ = avx_instructions && (source.ReadXcr0() & 6) == 6;
    if (has_avx_ && max_leaf >= 7)
      has_avx2_ = Bit(source.Cpuid(7).ebx, 5);
  }

  const uint32_t max_extended_leaf = source.Cpuid(kExtendedLeafBase).eax;
  if (max_extended_leaf >= kBrandLastLeaf) {
    brand_.clear();
    for (uint32_t leaf = kBrandFirstLeaf; leaf <= kBrandLastLeaf; ++leaf) {
      const CpuidRegisters r = source.Cpuid(leaf);
      AppendRegister(r.eax, &brand_);
      AppendRegister(r.ebx, &brand_);
      AppendRegister(r.ecx, &brand_);
      AppendRegister(r.edx, &brand_);
    }
    // The text is NUL-padded to 48 bytes; the padding is not part of it.
    while (!brand_.empty() && brand_.back() == '\0')
      brand_.pop_back();
  }
  if (max_extended_leaf >= kPowerManagementLeaf)
    has_non_stop_time_stamp_counter_ =
        Bit(source.Cpuid(kPowerManagementLeaf).edx, 8);
}

}  // namespace base
