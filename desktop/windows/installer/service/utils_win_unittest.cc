#include "desktop/windows/installer/service/utils.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/base_paths_win.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/path_service.h"
#include "base/win/shortcut.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class UtilsWinTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    target_ = folder_.path().AppendASCII("browser.exe");
    ASSERT_EQ(2, base::WriteFile(target_, "MZ", 2));
  }
  void TearDown() override { ::CoUninitialize(); }

  base::FilePath MakeShortcut(const base::FilePath& folder,
                              const char* name,
                              const base::FilePath& target) {
    base::FilePath shortcut = folder.AppendASCII(name);
    base::win::ShortcutProperties properties;
    properties.set_target(target);
    EXPECT_TRUE(base::win::CreateOrUpdateShortcutLink(
        shortcut, properties, base::win::SHORTCUT_CREATE_ALWAYS));
    return shortcut;
  }

  base::TestFolder folder_;
  base::FilePath target_;
};

TEST_F(UtilsWinTest, UserNamesAndFolders) {
  std::wstring name;
  ASSERT_TRUE(GetCurrentUserName(&name));
  EXPECT_FALSE(name.empty());
  std::wstring sam_name;
  if (GetCurrentUserNameEx(&sam_name, NameSamCompatible)) {
    EXPECT_NE(std::wstring::npos, sam_name.find(name));
  }

  base::FilePath app_data;
  ASSERT_TRUE(GetKnownFolderPath(FOLDERID_RoamingAppData, CSIDL_APPDATA,
                                 &app_data, false));
  EXPECT_TRUE(base::DirectoryExists(app_data));
  EXPECT_TRUE(app_data.IsAbsolute());

  // Whatever the token says, an administrator never needs elevation.
  if (IsUserAdmin(false)) {
    EXPECT_FALSE(IsElevationNeeded(true, false));
  } else {
    EXPECT_TRUE(IsElevationNeeded(true, true));
    EXPECT_TRUE(IsElevationNeeded(false, false));
    EXPECT_FALSE(IsElevationNeeded(false, true));
  }
}

TEST_F(UtilsWinTest, FileIdentity) {
  BY_HANDLE_FILE_INFORMATION first = {};
  BY_HANDLE_FILE_INFORMATION again = {};
  ASSERT_TRUE(GetFileInformation(target_, &first));
  ASSERT_TRUE(GetFileInformation(target_, &again));
  EXPECT_EQ(first.nFileIndexLow, again.nFileIndexLow);
  EXPECT_EQ(first.nFileIndexHigh, again.nFileIndexHigh);
  EXPECT_FALSE(
      GetFileInformation(folder_.path().AppendASCII("missing.exe"), &first));
}

TEST_F(UtilsWinTest, ShortcutPointsTo) {
  base::FilePath shortcut = MakeShortcut(folder_.path(), "a.lnk", target_);
  base::FilePath upper(base::FilePath(folder_.path().value() + u"\\BROWSER.EXE"));
  EXPECT_TRUE(ShortcutPointsTo(shortcut, upper, nullptr));

  base::FilePath other = folder_.path().AppendASCII("other.exe");
  ASSERT_EQ(2, base::WriteFile(other, "MZ", 2));
  EXPECT_FALSE(ShortcutPointsTo(shortcut, other, nullptr));

  // Given the target's identity, a link to it matches whatever name is asked.
  BY_HANDLE_FILE_INFORMATION info = {};
  ASSERT_TRUE(GetFileInformation(target_, &info));
  EXPECT_TRUE(ShortcutPointsTo(shortcut, other, &info));

  EXPECT_FALSE(ShortcutPointsTo(base::FilePath(), target_, nullptr));
  EXPECT_FALSE(ShortcutPointsTo(folder_.path().AppendASCII("none.lnk"),
                                target_, &info));
  // A file that is no shortcut resolves to nothing and matches no target.
  EXPECT_FALSE(ShortcutPointsTo(other, base::FilePath(), nullptr));
}

TEST_F(UtilsWinTest, FindTaskbarPin) {
  base::FilePath pins = folder_.path().AppendASCII("pins");
  ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
      base::DIR_TASKBAR_PINS, pins, true, true));
  EXPECT_TRUE(FindTaskbarPin(target_, nullptr).empty());

  base::FilePath other = folder_.path().AppendASCII("other.exe");
  ASSERT_EQ(2, base::WriteFile(other, "MZ", 2));
  MakeShortcut(pins, "other.lnk", other);
  // A broken link is skipped, not fatal.
  ASSERT_EQ(3, base::WriteFile(pins.AppendASCII("broken.lnk"), "bad", 3));
  // Only *.lnk files are looked at.
  MakeShortcut(pins, "browser.txt", target_);
  EXPECT_TRUE(FindTaskbarPin(target_, nullptr).empty());

  base::FilePath pin = MakeShortcut(pins, "browser.lnk", target_);
  EXPECT_EQ(pin, FindTaskbarPin(target_, nullptr));

  BY_HANDLE_FILE_INFORMATION info = {};
  ASSERT_TRUE(GetFileInformation(other, &info));
  EXPECT_FALSE(FindTaskbarPin(folder_.path().AppendASCII("x.exe"), &info)
                   .empty());

  ASSERT_TRUE(base::DeleteFile(pins, true));
  EXPECT_TRUE(FindTaskbarPin(target_, nullptr).empty());
}

}  // namespace
}  // namespace installer
