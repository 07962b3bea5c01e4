#include "base/win/windows_version.h"

#include <windows.h>

#include <atomic>

namespace base {
namespace win {

namespace {

static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the extended version record");

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
using GetProductInfoFunction = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);

void* GetKernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  return kernel32 ? reinterpret_cast<void*>(GetProcAddress(kernel32, name)) : nullptr;
}

OSInfo::WOW64Status GetWOW64Status() {
  auto is_wow64_process =
      reinterpret_cast<IsWow64ProcessFunction>(GetKernel32Function("IsWow64Process"));
  if (!is_wow64_process)
    return OSInfo::WOW64_DISABLED;
  BOOL is_wow64 = FALSE;
  if (!is_wow64_process(GetCurrentProcess(), &is_wow64))
    return OSInfo::WOW64_UNKNOWN;
  return is_wow64 ? OSInfo::WOW64_ENABLED : OSInfo::WOW64_DISABLED;
}

DWORD GetProductType(int major, int minor) {
  auto get_product_info =
      reinterpret_cast<GetProductInfoFunction>(GetKernel32Function("GetProductInfo"));
  DWORD product = PRODUCT_UNDEFINED;
  if (get_product_info && !get_product_info(major, minor, 0, 0, &product))
    product = PRODUCT_UNDEFINED;
  return product;
}

}  // namespace

OSInfo::OSInfo() {
  wow64_status_ = GetWOW64Status();

  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
  version_number_.major = static_cast<int>(info.dwMajorVersion);
  version_number_.minor = static_cast<int>(info.dwMinorVersion);
  version_number_.build = static_cast<int>(info.dwBuildNumber);
  version_ =
      VersionFromNumbers(version_number_.major, version_number_.minor, version_number_.build);
  service_pack_.major = info.wServicePackMajor;
  service_pack_.minor = info.wServicePackMinor;

  SYSTEM_INFO system_info = {};
  GetNativeSystemInfo(&system_info);
  architecture_ = ArchitectureFromProcessor(system_info.wProcessorArchitecture);
  processors_ = static_cast<int>(system_info.dwNumberOfProcessors);
  allocation_granularity_ = system_info.dwAllocationGranularity;

  const int major = version_number_.major;
  const DWORD product_info =
      (major == 6 || major == 10) ? GetProductType(major, version_number_.minor) : 0;
  version_type_ = EditionFrom(major, version_number_.minor, product_info, info.wProductType,
                              info.wSuiteMask, architecture_);
}

// static
OSInfo* OSInfo::GetInstance() {
  // Lock-free: racing threads each build a record, one publishes it and the
  // others discard theirs.
  static std::atomic<OSInfo*> instance{nullptr};
  OSInfo* existing = instance.load(std::memory_order_acquire);
  if (existing)
    return existing;
  OSInfo* created = new OSInfo();
  if (instance.compare_exchange_strong(existing, created, std::memory_order_acq_rel))
    return created;
  delete created;
  return existing;
}

// static
OSInfo::Version OSInfo::VersionFromNumbers(int major, int minor, int build) {
  if (major < 5)
    return VERSION_PRE_XP;
  if (major == 5) {
    if (minor == 0)
      return VERSION_PRE_XP;
    return minor == 1 ? VERSION_XP : VERSION_SERVER_2003;
  }
  if (major == 6) {
    switch (minor) {
      case 0:
        return VERSION_VISTA;
      case 1:
        return VERSION_WIN7;
      case 2:
        return VERSION_WIN8;
      default:
        return VERSION_WIN8_1;
    }
  }
  if (major == 10)
    return build < 10586 ? VERSION_WIN10 : VERSION_WIN10_TH2;
  return VERSION_WIN_LAST;
}

// static
OSInfo::WindowsArchitecture OSInfo::ArchitectureFromProcessor(int processor_architecture) {
  switch (processor_architecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
      return X86_ARCHITECTURE;
    case PROCESSOR_ARCHITECTURE_AMD64:
      return X64_ARCHITECTURE;
    case PROCESSOR_ARCHITECTURE_IA64:
      return IA64_ARCHITECTURE;
    default:
      return OTHER_ARCHITECTURE;
  }
}

// static
OSInfo::VersionType OSInfo::EditionFrom(int major,
                                        int minor,
                                        unsigned long product_info,
                                        int product_type,
                                        unsigned suite_mask,
                                        WindowsArchitecture architecture) {
  if (major == 6 || major == 10) {
    switch (product_info) {
      case PRODUCT_BUSINESS:
      case PRODUCT_ENTERPRISE:
      case PRODUCT_ULTIMATE:
      case PRODUCT_PROFESSIONAL:
        return SUITE_PROFESSIONAL;
      case PRODUCT_DATACENTER_SERVER:
      case PRODUCT_ENTERPRISE_SERVER:
      case PRODUCT_SMALLBUSINESS_SERVER:
      case PRODUCT_STANDARD_SERVER:
      case PRODUCT_WEB_SERVER:
      case PRODUCT_DATACENTER_SERVER_CORE:
      case PRODUCT_STANDARD_SERVER_CORE:
      case PRODUCT_ENTERPRISE_SERVER_CORE:
      case PRODUCT_ENTERPRISE_SERVER_IA64:
      case PRODUCT_CLUSTER_SERVER:
      case PRODUCT_SMALLBUSINESS_SERVER_PREMIUM:
        return SUITE_SERVER;
      default:
        return SUITE_HOME;
    }
  }
  if (major == 5 && minor == 2) {
    if (product_type == VER_NT_WORKSTATION && architecture == X64_ARCHITECTURE)
      return SUITE_PROFESSIONAL;
    if (suite_mask & VER_SUITE_WH_SERVER)
      return SUITE_HOME;
    return SUITE_SERVER;
  }
  if (major == 5 && minor == 1)
    return (suite_mask & VER_SUITE_PERSONAL) ? SUITE_HOME : SUITE_PROFESSIONAL;
  return SUITE_HOME;
}

OSInfo::Version GetVersion() {
  return OSInfo::GetInstance()->version();
}

}  // namespace win
}  // namespace base
