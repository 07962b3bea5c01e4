#ifndef BASE_CPU_H_
#define BASE_CPU_H_

#include <stdint.h>

#include <string>

namespace base {

// The four registers one cpuid leaf answers with.
struct CpuidRegisters {
  uint32_t eax = 0;
  uint32_t ebx = 0;
  uint32_t ecx = 0;
  uint32_t edx = 0;
};

// Where the processor facts come from: the instructions themselves, or
// made-up register values when the decoding is tested.
class CpuidSource {
 public:
  virtual ~CpuidSource() = default;
  // The registers of |leaf| (sub-leaf 0).
  virtual CpuidRegisters Cpuid(uint32_t leaf) const = 0;
  // XCR0. Only asked when cpuid reports that the system enabled xgetbv.
  virtual uint64_t ReadXcr0() const = 0;
};

// Facts about the processor this runs on, read once when constructed.
class CPU {
 public:
  // Reads the processor with the cpuid and xgetbv instructions.
  CPU();
  // Decodes the answers of |source| instead.
  explicit CPU(const CpuidSource& source);

  int signature() const { return signature_; }
  int type() const { return type_; }
  int family() const { return family_; }
  int model() const { return model_; }
  int stepping() const { return stepping_; }
  int extended_model() const { return extended_model_; }
  int extended_family() const { return extended_family_; }
  bool has_mmx() const { return has_mmx_; }
  bool has_sse() const { return has_sse_; }
  bool has_sse2() const { return has_sse2_; }
  bool has_sse3() const { return has_sse3_; }
  bool has_ssse3() const { return has_ssse3_; }
  bool has_sse41() const { return has_sse41_; }
  bool has_sse42() const { return has_sse42_; }
  bool has_avx() const { return has_avx_; }
  bool has_avx2() const { return has_avx2_; }
  bool has_aesni() const { return has_aesni_; }
  bool has_non_stop_time_stamp_counter() const {
    return has_non_stop_time_stamp_counter_;
  }
  const std::string& vendor() const { return vendor_; }
  const std::string& brand() const { return brand_; }

 private:
  void Initialize(const CpuidSource& source);

  int signature_ = 0;
  int type_ = 0;
  int family_ = 0;
  int model_ = 0;
  int stepping_ = 0;
  int extended_model_ = 0;
  int extended_family_ = 0;
  bool has_mmx_ = false;
  bool has_sse_ = false;
  bool has_sse2_ = false;
  bool has_sse3_ = false;
  bool has_ssse3_ = false;
  bool has_sse41_ = false;
  bool has_sse42_ = false;
  bool has_avx_ = false;
  bool has_avx2_ = false;
  bool has_aesni_ = false;
  bool has_non_stop_time_stamp_counter_ = false;
  std::string vendor_ = "unknown";
  std::string brand_;
};

}  // namespace base

#endif  // BASE_CPU_H_
