#include "base/path_service.h"

#include <windows.h>

#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Overrides live until the process ends: a test that overrides a key with a
// real answer puts that answer back at its end, and the keys without one
// (1002, DIR_CURRENT) are read by no other test.
class ScopedAnswer {
 public:
  explicit ScopedAnswer(int key) : key_(key) {
    EXPECT_TRUE(PathService::Get(key, &saved_));
  }
  ~ScopedAnswer() {
    EXPECT_TRUE(PathService::OverrideAndCreateIfNeeded(key_, saved_, true, false));
  }
  ScopedAnswer(const ScopedAnswer&) = delete;
  ScopedAnswer& operator=(const ScopedAnswer&) = delete;

 private:
  const int key_;
  FilePath saved_;
};

TEST(PathServiceTest, CurrentDirectoryIsNeverCached) {
  TestFolder folder;
  FilePath saved;
  ASSERT_TRUE(PathService::Get(DIR_CURRENT, &saved));
  ASSERT_TRUE(::SetCurrentDirectoryW(as_wcstr(folder.path().value())));
  FilePath current;
  EXPECT_TRUE(PathService::Get(DIR_CURRENT, &current));
  EXPECT_EQ(folder.path(), current);

  // An override of the current directory is never read.
  EXPECT_TRUE(PathService::OverrideAndCreateIfNeeded(
      DIR_CURRENT, FilePath(u"C:\\elsewhere"), true, false));
  EXPECT_TRUE(PathService::Get(DIR_CURRENT, &current));
  EXPECT_EQ(folder.path(), current);
  ASSERT_TRUE(::SetCurrentDirectoryW(as_wcstr(saved.value())));
}

TEST(PathServiceTest, ExecutableAndItsFolder) {
  FilePath exe;
  ASSERT_TRUE(PathService::Get(FILE_EXE, &exe));
  EXPECT_TRUE(exe.IsAbsolute());
  EXPECT_EQ(u"base_unittests.exe", exe.BaseName().value());
  FilePath exe_dir;
  ASSERT_TRUE(PathService::Get(DIR_EXE, &exe_dir));
  EXPECT_EQ(exe.DirName(), exe_dir);
  FilePath root;
  ASSERT_TRUE(PathService::Get(DIR_SOURCE_ROOT, &root));
  EXPECT_EQ(exe_dir.DirName().DirName(), root);
}

TEST(PathServiceTest, QuickLaunchFollowsApplicationData) {
  TestFolder folder;
  const ScopedAnswer app_data(DIR_APP_DATA);
  FilePath before;
  ASSERT_TRUE(PathService::Get(DIR_USER_QUICK_LAUNCH, &before));  // Cached.

  ASSERT_TRUE(PathService::OverrideAndCreateIfNeeded(
      DIR_APP_DATA, folder.path(), true, false));
  const FilePath quick_launch = folder.path().Append(
      u"Microsoft\\Internet Explorer\\Quick Launch");
  FilePath path;
  ASSERT_TRUE(PathService::Get(DIR_USER_QUICK_LAUNCH, &path));
  EXPECT_EQ(quick_launch, path);
  ASSERT_TRUE(PathService::Get(DIR_TASKBAR_PINS, &path));
  EXPECT_EQ(quick_launch.Append(u"User Pinned\\TaskBar"), path);
  ASSERT_TRUE(PathService::Get(DIR_IMPLICIT_APP_SHORTCUTS, &path));
  EXPECT_EQ(quick_launch.Append(u"User Pinned\\ImplicitAppShortcuts"), path);
}

TEST(PathServiceTest, KeysWithoutProviderAnswerOnlyOverrides) {
  TestFolder folder;
  const int kUserData = 1002;
  FilePath path(u"unchanged");
  EXPECT_FALSE(PathService::Get(kUserData, &path));
  EXPECT_FALSE(PathService::Get(2015, &path));
  EXPECT_EQ(u"unchanged", path.value());

  // A relative override is stored in absolute form; with create, a missing
  // folder is made first.
  FilePath saved;
  ASSERT_TRUE(GetCurrentDirectory(&saved));
  ASSERT_TRUE(::SetCurrentDirectoryW(as_wcstr(folder.path().value())));
  EXPECT_TRUE(PathService::OverrideAndCreateIfNeeded(
      kUserData, FilePath(u"user\\data"), false, true));
  ASSERT_TRUE(::SetCurrentDirectoryW(as_wcstr(saved.value())));
  EXPECT_TRUE(DirectoryExists(folder.path().Append(u"user\\data")));
  EXPECT_TRUE(PathService::Get(kUserData, &path));
  EXPECT_EQ(folder.path().Append(u"user\\data"), path);

  // A folder that cannot be made is no override; neither is nothing.
  const FilePath file = folder.path().Append(u"file");
  ASSERT_EQ(0, WriteFile(file, "", 0));
  EXPECT_FALSE(PathService::OverrideAndCreateIfNeeded(
      2016, file.Append(u"below"), true, true));
  EXPECT_FALSE(PathService::OverrideAndCreateIfNeeded(2016, FilePath(), true,
                                                      false));
  EXPECT_FALSE(PathService::Get(2016, &path));
}

TEST(PathServiceTest, TestDataOnlyWhenItExists) {
  TestFolder folder;
  const ScopedAnswer source_root(DIR_SOURCE_ROOT);
  ASSERT_TRUE(PathService::OverrideAndCreateIfNeeded(
      DIR_SOURCE_ROOT, folder.path(), true, false));
  FilePath path(u"unchanged");
  EXPECT_FALSE(PathService::Get(DIR_TEST_DATA, &path));
  EXPECT_EQ(u"unchanged", path.value());

  // Failures are not cached.
  const FilePath data = folder.path().Append(u"base\\test\\data");
  ASSERT_TRUE(CreateDirectory(data));
  EXPECT_TRUE(PathService::Get(DIR_TEST_DATA, &path));
  EXPECT_EQ(data, path);
}

}  // namespace
}  // namespace base
