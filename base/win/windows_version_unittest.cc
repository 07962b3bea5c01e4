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
  struct Case {
    int major, minor, build;
    OSInfo::Version expected;
  } cases[] = {
      {4, 90, 0, OSInfo::VERSION_PRE_XP},     {5, 0, 2195, OSInfo::VERSION_PRE_XP},
      {5, 1, 2600, OSInfo::VERSION_XP},       {5, 2, 3790, OSInfo::VERSION_SERVER_2003},
      {5, 7, 0, OSInfo::VERSION_SERVER_2003}, {6, 0, 6000, OSInfo::VERSION_VISTA},
      {6, 1, 7601, OSInfo::VERSION_WIN7},     {6, 2, 9200, OSInfo::VERSION_WIN8},
      {6, 3, 9600, OSInfo::VERSION_WIN8_1},   {6, 4, 9841, OSInfo::VERSION_WIN8_1},
      {7, 0, 0, OSInfo::VERSION_WIN_LAST},    {9, 9, 0, OSInfo::VERSION_WIN_LAST},
      {10, 0, 10240, OSInfo::VERSION_WIN10},  {10, 0, 10585, OSInfo::VERSION_WIN10},
      {10, 0, 10586, OSInfo::VERSION_WIN10_TH2}, {10, 0, 19045, OSInfo::VERSION_WIN10_TH2},
      {10, 3, 0, OSInfo::VERSION_WIN10},      {11, 0, 0, OSInfo::VERSION_WIN_LAST},
      {-1, 0, 0, OSInfo::VERSION_PRE_XP},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, OSInfo::VersionFromNumbers(c.major, c.minor, c.build))
        << c.major << "." << c.minor << "." << c.build;
  }
}

TEST(OSInfoTest, ArchitectureFromProcessor) {
  EXPECT_EQ(OSInfo::X86_ARCHITECTURE, OSInfo::ArchitectureFromProcessor(0));
  EXPECT_EQ(OSInfo::X64_ARCHITECTURE, OSInfo::ArchitectureFromProcessor(9));
  EXPECT_EQ(OSInfo::IA64_ARCHITECTURE, OSInfo::ArchitectureFromProcessor(6));
  EXPECT_EQ(OSInfo::OTHER_ARCHITECTURE, OSInfo::ArchitectureFromProcessor(12));
  EXPECT_EQ(OSInfo::OTHER_ARCHITECTURE, OSInfo::ArchitectureFromProcessor(0xFFFF));
}

TEST(OSInfoTest, EditionFromProductInfoOnVistaAndLater) {
  for (unsigned long product : {1ul, 4ul, 6ul, 48ul}) {
    EXPECT_EQ(OSInfo::SUITE_PROFESSIONAL,
              OSInfo::EditionFrom(10, 0, product, 1, 0, OSInfo::X64_ARCHITECTURE))
        << product;
  }
  for (unsigned long product : {7ul, 8ul, 9ul, 10ul, 12ul, 13ul, 14ul, 15ul, 17ul, 18ul, 25ul}) {
    EXPECT_EQ(OSInfo::SUITE_SERVER,
              OSInfo::EditionFrom(6, 1, product, 1, 0, OSInfo::X64_ARCHITECTURE))
        << product;
  }
  for (unsigned long product : {0ul, 2ul, 3ul, 11ul, 16ul, 29ul, 101ul}) {
    EXPECT_EQ(OSInfo::SUITE_HOME,
              OSInfo::EditionFrom(6, 0, product, 3, 0xFFFF, OSInfo::X64_ARCHITECTURE))
        << product;
  }
}

TEST(OSInfoTest, EditionFromSuiteOnXpAndServer2003) {
  // 5.2: an x64 workstation is XP Professional x64, Home Server is home.
  EXPECT_EQ(OSInfo::SUITE_PROFESSIONAL,
            OSInfo::EditionFrom(5, 2, 0, VER_NT_WORKSTATION, 0, OSInfo::X64_ARCHITECTURE));
  EXPECT_EQ(OSInfo::SUITE_SERVER,
            OSInfo::EditionFrom(5, 2, 0, VER_NT_WORKSTATION, 0, OSInfo::X86_ARCHITECTURE));
  EXPECT_EQ(OSInfo::SUITE_HOME, OSInfo::EditionFrom(5, 2, 0, VER_NT_SERVER, VER_SUITE_WH_SERVER,
                                                    OSInfo::X64_ARCHITECTURE));
  EXPECT_EQ(OSInfo::SUITE_SERVER,
            OSInfo::EditionFrom(5, 2, 0, VER_NT_SERVER, 0, OSInfo::X64_ARCHITECTURE));
  EXPECT_EQ(OSInfo::SUITE_HOME, OSInfo::EditionFrom(5, 1, 0, VER_NT_WORKSTATION,
                                                    VER_SUITE_PERSONAL, OSInfo::X86_ARCHITECTURE));
  EXPECT_EQ(OSInfo::SUITE_PROFESSIONAL,
            OSInfo::EditionFrom(5, 1, 0, VER_NT_WORKSTATION, 0, OSInfo::X86_ARCHITECTURE));
  // Neither rule applies to other versions, whatever GetProductInfo said.
  EXPECT_EQ(OSInfo::SUITE_HOME,
            OSInfo::EditionFrom(5, 0, 1, VER_NT_WORKSTATION, 0, OSInfo::X86_ARCHITECTURE));
  EXPECT_EQ(OSInfo::SUITE_HOME,
            OSInfo::EditionFrom(7, 0, 48, VER_NT_WORKSTATION, 0, OSInfo::X64_ARCHITECTURE));
}

// The test executables declare Windows 10 support and the prefix is set to
// Windows 10, so the live record is known.
TEST(OSInfoTest, LiveRecordIsWindows10On64Bit) {
  const OSInfo* info = OSInfo::GetInstance();
  EXPECT_EQ(10, info->version_number().major);
  EXPECT_GE(info->version(), OSInfo::VERSION_WIN10);
  EXPECT_LE(info->version(), OSInfo::VERSION_WIN10_TH2);
  EXPECT_EQ(info->version(), GetVersion());
  EXPECT_EQ(OSInfo::X64_ARCHITECTURE, info->architecture());
  EXPECT_EQ(OSInfo::WOW64_DISABLED, info->wow64_status());
  EXPECT_GE(info->processors(), 1);
  EXPECT_EQ(info->processors(), SysInfo::NumberOfProcessors());
  EXPECT_EQ(65536u, info->allocation_granularity());
}

TEST(OSInfoTest, RacingThreadsSeeOneRecord) {
  std::vector<const OSInfo*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = OSInfo::GetInstance(); });
  for (std::thread& thread : threads)
    thread.join();
  for (const OSInfo* info : seen)
    EXPECT_EQ(OSInfo::GetInstance(), info);
}

}  // namespace
}  // namespace win
}  // namespace base
