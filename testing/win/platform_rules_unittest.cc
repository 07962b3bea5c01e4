#include "testing/win/platform_rules.h"

#include <string>

#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "gtest/gtest.h"

namespace platform_rules {

namespace {

std::wstring W(const base::FilePath& path) {
  return as_wcstr(path.value());
}

void Write(const base::FilePath& path, const char* text) {
  ASSERT_TRUE(base::CreateDirectory(path.DirName()));
  ASSERT_GT(base::WriteFile(path, text, static_cast<int>(strlen(text))), 0);
}

}  // namespace

TEST(PlatformRulesTest, FailsTheChosenCallOnce) {
  base::TestFolder folder;
  const std::wstring path = W(folder.path().AppendASCII("a"));
  {
    ScopedFaultInjection inject(2, ERROR_NOT_ENOUGH_MEMORY,
                                "CreateDirectoryW");
    EXPECT_TRUE(::CreateDirectoryW((path + L"1").c_str(), nullptr));
    EXPECT_FALSE(::CreateDirectoryW((path + L"2").c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), ::GetLastError());
    EXPECT_TRUE(::CreateDirectoryW((path + L"3").c_str(), nullptr));
    EXPECT_EQ("CreateDirectoryW", inject.failed_function());
    EXPECT_EQ(3, inject.calls());
  }
  // Registry functions answer with the error; hooks are gone afterwards.
  HKEY key;
  {
    ScopedFaultInjection inject(1, ERROR_OUTOFMEMORY);
    EXPECT_EQ(ERROR_OUTOFMEMORY,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ,
                              &key));
  }
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0,
                                           KEY_READ, &key));
  ::RegCloseKey(key);
  // Counting from a point; running out of resources in each function's own
  // form.
  {
    ScopedFaultInjection inject(1, ScopedFaultInjection::kOutOfResources,
                                nullptr, false);
    EXPECT_TRUE(::CreateDirectoryW((path + L"4").c_str(), nullptr));
    EXPECT_EQ(0, inject.calls());
    inject.Start();
    EXPECT_FALSE(::CreateDirectoryW((path + L"5").c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES), ::GetLastError());
    inject.Start();
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ,
                              &key));
  }
}

TEST(PlatformRulesTest, FolderWithAnOpenFileIsNotRenamed) {
  base::TestFolder folder;
  const base::FilePath from = folder.path().AppendASCII("from");
  const base::FilePath open_file = from.AppendASCII("deep\\open.txt");
  Write(open_file, "x");
  ScopedWindowsFolderRenameRules rules;
  {
    base::File file(open_file, base::File::FLAG_OPEN | base::File::FLAG_READ);
    ASSERT_TRUE(file.IsValid());
    EXPECT_FALSE(::MoveFileExW(W(from).c_str(),
                               W(folder.path().AppendASCII("to")).c_str(), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
    EXPECT_EQ(1, rules.refused());
  }
  EXPECT_TRUE(::MoveFileW(W(from).c_str(),
                          W(folder.path().AppendASCII("to")).c_str()));
}

TEST(PlatformRulesTest, ReplaceFileFailsAsWindowsCan) {
  base::TestFolder folder;
  const base::FilePath replaced = folder.path().AppendASCII("file");
  const base::FilePath replacement = folder.path().AppendASCII("file.tmp");
  for (DWORD error :
       {DWORD{ERROR_UNABLE_TO_MOVE_REPLACEMENT},
        DWORD{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2}}) {
    Write(replaced, "old");
    Write(replacement, "new");
    ScopedReplaceFileFailure failure(error);
    EXPECT_FALSE(::ReplaceFileW(W(replaced).c_str(), W(replacement).c_str(),
                                nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(error, ::GetLastError());
    EXPECT_TRUE(failure.used());
    EXPECT_FALSE(base::PathExists(replaced));
    EXPECT_TRUE(base::PathExists(replacement));
    base::DeleteFile(folder.path().AppendASCII("file.~replaced"), false);
  }
}

}  // namespace platform_rules
