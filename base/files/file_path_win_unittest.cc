#include "base/files/file_path.h"

#include <windows.h>

#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(FilePathWinTest, CompareIgnoreCaseUpperCasesLikeWindows) {
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(u"abc", u"ABD"));
  EXPECT_EQ(1, FilePath::CompareIgnoreCase(u"ABD", u"abc"));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(u"ab", u"AB"));
  EXPECT_EQ(1, FilePath::CompareIgnoreCase(u"abc", u"ab"));
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(u"ab", u"abc"));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(u"", u""));
  // Beyond ASCII, Windows' own case mapping decides.
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(u"C:\\caf\u00e9",
                                           u"c:\\CAF\u00c9"));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(u"\u0436", u"\u0416"));
  // '_' sorts after the upper-case letters, so case folding shows here.
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(u"a", u"_"));
}

TEST(FilePathWinTest, CompareIgnoreCaseKeepsTheLastError) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  FilePath::CompareIgnoreCase(u"a", u"b");
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// The first lookup of the upper-casing function, raced by several threads
// in a fresh process, whether or not anything loaded user32 before.
int RaceFirstComparisons() {
  std::vector<std::thread> threads;
  std::vector<int> results(8, -2);
  for (size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&results, i] {
      results[i] = FilePath::CompareIgnoreCase(u"Program Files\\x",
                                               u"PROGRAM FILES\\X");
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int result : results) {
    if (result != 0)
      return 1;
  }
  return GetModuleHandleW(L"user32.dll") ? 0 : 2;
}

TEST(FilePathWinTest, FirstComparisonsFindTheFunctionInEveryThread) {
  EXPECT_EXIT(ExitProcess(RaceFirstComparisons()), testing::ExitedWithCode(0),
              "");
}

}  // namespace
}  // namespace base
