#ifndef BASE_WIN_WINDOWS_VERSION_H_
#define BASE_WIN_WINDOWS_VERSION_H_

#include <stddef.h>

namespace base {
namespace win {

// The running Windows: version, edition, service pack, processor facts and
// WOW64 status. Built once per process on first use and never freed.
class OSInfo {
 public:
  // Ordered: callers compare with <, >= and the like.
  enum Version {
    VERSION_PRE_XP = 0,
    VERSION_XP = 1,
    VERSION_SERVER_2003 = 2,
    VERSION_VISTA = 3,
    VERSION_WIN7 = 4,
    VERSION_WIN8 = 5,
    VERSION_WIN8_1 = 6,
    VERSION_WIN10 = 7,
    VERSION_WIN10_TH2 = 8,
    VERSION_WIN_LAST = 9,
  };

  enum VersionType {
    SUITE_HOME = 0,
    SUITE_PROFESSIONAL = 1,
    SUITE_SERVER = 2,
  };

  enum WindowsArchitecture {
    X86_ARCHITECTURE = 0,
    X64_ARCHITECTURE = 1,
    IA64_ARCHITECTURE = 2,
    OTHER_ARCHITECTURE = 3,
  };

  enum WOW64Status {
    WOW64_DISABLED = 0,
    WOW64_ENABLED = 1,
    WOW64_UNKNOWN = 2,
  };

  struct VersionNumber {
    int major;
    int minor;
    int build;
  };

  struct ServicePack {
    int major;
    int minor;
  };

  OSInfo(const OSInfo&) = delete;
  OSInfo& operator=(const OSInfo&) = delete;

  static OSInfo* GetInstance();

  Version version() const { return version_; }
  VersionNumber version_number() const { return version_number_; }
  VersionType version_type() const { return version_type_; }
  ServicePack service_pack() const { return service_pack_; }
  WindowsArchitecture architecture() const { return architecture_; }
  int processors() const { return processors_; }
  size_t allocation_granularity() const { return allocation_granularity_; }
  WOW64Status wow64_status() const { return wow64_status_; }

  // The decoding of the raw numbers the system reports, apart from the
  // calls that read them.
  static Version VersionFromNumbers(int major, int minor, int build);
  static WindowsArchitecture ArchitectureFromProcessor(int processor_architecture);
  // `product_info` is what GetProductInfo reports (asked only for major 6
  // and 10); `product_type` and `suite_mask` come from the version record.
  static VersionType EditionFrom(int major,
                                 int minor,
                                 unsigned long product_info,
                                 int product_type,
                                 unsigned suite_mask,
                                 WindowsArchitecture architecture);

 private:
  OSInfo();
  ~OSInfo() = default;

  Version version_ = VERSION_PRE_XP;
  VersionNumber version_number_ = {0, 0, 0};
  VersionType version_type_ = SUITE_HOME;
  ServicePack service_pack_ = {0, 0};
  WindowsArchitecture architecture_ = OTHER_ARCHITECTURE;
  int processors_ = 0;
  size_t allocation_granularity_ = 0;
  WOW64Status wow64_status_ = WOW64_UNKNOWN;
};

// The version of the running Windows; what most callers need.
OSInfo::Version GetVersion();

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_WINDOWS_VERSION_H_
