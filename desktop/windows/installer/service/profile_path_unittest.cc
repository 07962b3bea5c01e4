#include "desktop/windows/installer/service/profile_path.h"

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ProfilePathTest, DefaultTemplate) {
  EXPECT_EQ("Palvo\\Developer\\User Data",
            ExpandDefaultProfilePath("Palvo/{InternalStream}/User Data",
                                     "Developer"));
  EXPECT_EQ("a-Next-Next\\b",
            ExpandDefaultProfilePath("a-{InternalStream}-{InternalStream}/b",
                                     "Next"));
  // A channel name that looks like the placeholder is not expanded again.
  EXPECT_EQ("{InternalStream}x",
            ExpandDefaultProfilePath("{InternalStream}x", "{InternalStream}"));
  EXPECT_EQ("", ExpandDefaultProfilePath("", "Stable"));
  EXPECT_EQ("{Internal", ExpandDefaultProfilePath("{Internal", "Stable"));
}

TEST(ProfilePathTest, UserNamePlaceholder) {
  EXPECT_EQ(u"C:\\Profiles\\ann",
            ReplaceUserNamePlaceholder(u"C:\\Profiles\\<USERNAME>", u"ann"));
  // Only the first placeholder is replaced.
  EXPECT_EQ(u"C:\\ann\\<USERNAME>",
            ReplaceUserNamePlaceholder(u"C:\\<USERNAME>\\<USERNAME>", u"ann"));
  EXPECT_EQ(u"C:\\P", ReplaceUserNamePlaceholder(u"C:\\P", u"ann"));

  EXPECT_TRUE(IsUserNameInLastComponent(u"C:\\Profiles\\<USERNAME>"));
  EXPECT_TRUE(IsUserNameInLastComponent(u"C:\\Profiles\\<USERNAME>\\"));
  EXPECT_TRUE(IsUserNameInLastComponent(u"C:\\Profiles\\u-<USERNAME>-p"));
  EXPECT_FALSE(IsUserNameInLastComponent(u"C:\\Profiles\\<USERNAME>\\x"));
  EXPECT_FALSE(IsUserNameInLastComponent(u"C:/Profiles/<USERNAME>/x"));
  EXPECT_FALSE(IsUserNameInLastComponent(u"C:\\Profiles\\ann"));
}

TEST(ProfilePathTest, FolderBelowVolumeRoot) {
  const struct {
    const char16* folder;
    bool below_root;
  } kFolders[] = {
      {u"C:\\Profiles", true},
      {u"c:/Profiles/", true},
      {u"\\\\server\\share\\Profiles", true},
      {u"\\\\?\\C:\\Profiles", true},
      {u"\\\\?\\UNC\\server\\share\\Profiles", true},
      {u"", false},
      {u".", false},
      {u"Profiles", false},
      {u"\\Profiles", false},
      {u"C:Profiles", false},
      {u"C:", false},
      {u"C:\\", false},
      {u"\\\\", false},
      {u"\\\\server", false},
      {u"\\\\server\\share", false},
      {u"\\\\?\\C:\\", false},
      {u"\\\\.\\C:", false},
      {u"\\\\?\\UNC\\server\\share", false},
      {u"C:\\.", false},
      {u"C:\\Profiles\\..", false},
      {u"C:\\Profiles\\. .", false},
      {u"\\\\server\\share\\..", false},
      {u"\\\\server\\..\\share\\Profiles", false},
      {u"\\\\ \\share\\Profiles", false},
      {u"\\\\?\\UNC\\server\\..\\Profiles", false},
      {u"\\\\?\\UNC\\ .\\share\\Profiles", false},
      {u"\\\\?\\Volume{0a1b2c3d-4e5f-6789-abcd-ef0123456789}\\Profiles", true},
      {u"\\\\?\\Volume{0a1b2c3d-4e5f-6789-abcd-ef0123456789}", false},
      {u"\\\\?\\Volume{0a1b2c3d-4e5f-6789-abcd-ef012345678}\\Profiles", false},
      {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\Profiles", false},
      {u"\\\\.\\GLOBALROOT\\Device\\Mup\\server\\share", false},
  };
  for (const auto& row : kFolders) {
    EXPECT_EQ(row.below_root, IsFolderBelowVolumeRoot(base::FilePath(row.folder)))
        << base::UTF16ToUTF8(row.folder);
  }
  EXPECT_EQ(u"c:\\", GetVolumeRoot(base::FilePath(u"c:/Palvo/launcher.exe")));
  EXPECT_EQ(u"\\\\server\\share\\",
            GetVolumeRoot(base::FilePath(u"\\\\server\\share\\launcher.exe")));
  EXPECT_EQ(u"\\\\?\\UNC\\server\\share\\",
            GetVolumeRoot(base::FilePath(u"\\\\?\\UNC\\server\\share\\x\\launcher.exe")));
  for (const char16* rootless : {u"launcher.exe", u"C:launcher.exe", u"\\\\server",
                                 u"\\\\?\\GLOBALROOT\\Device\\Mup\\server\\share\\x"}) {
    EXPECT_EQ(string16(), GetVolumeRoot(base::FilePath(rootless)));
  }
}

}  // namespace
}  // namespace installer
