#include "base/win/windows_version.h"

#include <windows.h>

#include <thread>
#include <vector>

#include "base/sys_info.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(OSInfoTest, VersionFromNumbers) {
  struct {
    int major, minor, build;
    OSInfo::Version expected;
  } cases[] = {
      {4, 90, 0, OSInfo::VERSION_PRE_XP},        {5, 0, 2195, OSInfo::VERSION_PRE_XP},
      {5, 1, 2600, OSInfo::VERSION_XP},          {5, 7, 0, OSInfo::VERSION_SERVER_2003},
      {6, 0, 6000, OSInfo::VERSION_VISTA},       {6, 2, 9200, OSInfo::VERSION_WIN8},
      {6, 4, 9841, OSInfo::VERSION_WIN8_1},      {7, 0, 0, OSInfo::VERSION_WIN_LAST},
      {10, 0, 10240, OSInfo::VERSION_WIN10},     {10, 0, 10586, OSInfo::VERSION_WIN10_TH2},
      {10, 0, 19045, OSInfo::VERSION_WIN10_TH2}, {11, 0, 0, OSInfo::VERSION_WIN_LAST},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, OSInfo::VersionFromNumbers(c.major, c.minor, c.build))
        << c.major << "." << c.minor << "." << c.build;
  }
}

TEST(OSInfoTest, EditionFromProductAndSuite) {
  const auto x64 = OSInfo::X64_ARCHITECTURE;
  const auto x86 = OSInfo::X86_ARCHITECTURE;
  EXPECT_EQ(OSInfo::SUITE_PROFESSIONAL, OSInfo::EditionFrom(10, 0, 48, 1, 0, x64));
  EXPECT_EQ(OSInfo::SUITE_SERVER, OSInfo::EditionFrom(6, 1, 18, 3, 0, x64));
  EXPECT_EQ(OSInfo::SUITE_HOME, OSInfo::EditionFrom(6, 0, 29, 3, 0, x64));
  // Server 2003 generation: an x64 workstation is XP Professional x64.
  EXPECT_EQ(OSInfo::SUITE_PROFESSIONAL, OSInfo::EditionFrom(5, 2, 0, VER_NT_WORKSTATION, 0, x64));
  EXPECT_EQ(OSInfo::SUITE_SERVER, OSInfo::EditionFrom(5, 2, 0, VER_NT_WORKSTATION, 0, x86));
  EXPECT_EQ(OSInfo::SUITE_HOME,
            OSInfo::EditionFrom(5, 2, 0, VER_NT_SERVER, VER_SUITE_WH_SERVER, x64));
  EXPECT_EQ(OSInfo::SUITE_HOME,
            OSInfo::EditionFrom(5, 1, 0, VER_NT_WORKSTATION, VER_SUITE_PERSONAL, x86));
  EXPECT_EQ(OSInfo::SUITE_PROFESSIONAL, OSInfo::EditionFrom(5, 1, 0, VER_NT_WORKSTATION, 0, x86));
  // The product type counts only where GetProductInfo exists.
  EXPECT_EQ(OSInfo::SUITE_HOME, OSInfo::EditionFrom(7, 0, 48, VER_NT_WORKSTATION, 0, x64));
}

// Test executables declare Windows 10 support and the prefix says Windows
// 10, so the live record is known.
TEST(OSInfoTest, LiveRecordIsOneSharedWindows10Record) {
  std::vector<const OSInfo*> seen(4, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = OSInfo::GetInstance(); });
  for (std::thread& thread : threads)
    thread.join();
  const OSInfo* info = OSInfo::GetInstance();
  for (const OSInfo* other : seen)
    EXPECT_EQ(info, other);

  EXPECT_EQ(10, info->version_number().major);
  EXPECT_GE(GetVersion(), OSInfo::VERSION_WIN10);
  EXPECT_LE(GetVersion(), OSInfo::VERSION_WIN10_TH2);
  EXPECT_EQ(OSInfo::X64_ARCHITECTURE, info->architecture());
  EXPECT_EQ(OSInfo::WOW64_DISABLED, info->wow64_status());
  EXPECT_GE(SysInfo::NumberOfProcessors(), 1);
  EXPECT_EQ(65536u, info->allocation_granularity());
}

}  // namespace
}  // namespace win
}  // namespace base
