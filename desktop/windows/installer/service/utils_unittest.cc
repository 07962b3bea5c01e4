#include "desktop/windows/installer/service/utils.h"

#include "base/strings/string16.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(IsValidFolderPathTest, RootsAndLengths) {
  EXPECT_TRUE(IsValidFolderPath(u"C:", true));
  EXPECT_TRUE(IsValidFolderPath(u"C:\\Program Files\\Palvo", true));
  EXPECT_TRUE(IsValidFolderPath(u"relative/folder", true));
  EXPECT_FALSE(IsValidFolderPath(u"", true));

  // A UNC path needs a server, a share and a separator behind the share.
  EXPECT_FALSE(IsValidFolderPath(u"\\\\server\\share", true));
  EXPECT_FALSE(IsValidFolderPath(u"\\\\server", true));
  EXPECT_FALSE(IsValidFolderPath(u"\\\\\\share\\dir", true));
  EXPECT_TRUE(IsValidFolderPath(u"\\\\server\\share\\dir", true));
  EXPECT_TRUE(IsValidFolderPath(u"//server/share/dir", true));
  EXPECT_FALSE(IsValidFolderPath(u"\\\\server\\share\\d?r", true));

  string16 long_path = u"C:\\";
  long_path.append(245, u'a');
  ASSERT_EQ(248u, long_path.size());
  EXPECT_FALSE(IsValidFolderPath(long_path, true));
  EXPECT_TRUE(IsValidFolderPath(long_path, false));
  long_path.append(12, u'a');
  EXPECT_FALSE(IsValidFolderPath(long_path, false));
}

TEST(IsValidFolderPathTest, Components) {
  EXPECT_FALSE(IsValidFolderPath(u"C:\\Program Files\\x.", true));
  EXPECT_FALSE(IsValidFolderPath(u"C:\\a\\ b", true));
  EXPECT_FALSE(IsValidFolderPath(u"C:\\a \\b", true));
  EXPECT_TRUE(IsValidFolderPath(u"C:\\a b\\c.d", true));
  for (const char16_t* bad :
       {u"C:\\a?", u"C:\\a\"", u"C:\\<", u"C:\\>", u"C:\\*", u"C:\\a|b",
        u"C:\\a:b", u"C:\\a\x1F"}) {
    EXPECT_FALSE(IsValidFolderPath(bad, true)) << bad;
  }
  // An embedded NUL would shorten the path at the system boundary.
  string16 with_nul = u"C:\\a";
  with_nul += u'\0';
  with_nul += u"b";
  EXPECT_FALSE(IsValidFolderPath(with_nul, true));
}

TEST(IsValidFolderPathTest, DeviceNames) {
  EXPECT_FALSE(IsValidFolderPath(u"C:\\con\\x", true));
  EXPECT_FALSE(IsValidFolderPath(u"C:\\Com1.txt", false));
  EXPECT_FALSE(IsValidFolderPath(u"C:\\a\\lpt3", true));
  EXPECT_FALSE(IsValidFolderPath(u"C:\\nUl.tar.gz", false));
  EXPECT_TRUE(IsValidFolderPath(u"C:\\console", true));
  EXPECT_TRUE(IsValidFolderPath(u"C:\\com5", true));
  EXPECT_TRUE(IsValidFolderPath(u"C:\\x.con", true));
  EXPECT_TRUE(IsValidFolderPath(u"C:\\co", true));
}

TEST(UtilsTest, KernelObjectNames) {
  string16 name;
  MakeKernelObjectName(&name, u"C:\\x", u"A/B", true);
  EXPECT_EQ(u"Global\\A/B/C:/x", name);
  MakeKernelObjectName(&name, u"setup", u"P\\Q", false);
  EXPECT_EQ(u"Local\\P/Q/setup", name);
}

TEST(UtilsTest, ChannelName) {
  EXPECT_EQ("Developer", GetChannelName());
}

}  // namespace
}  // namespace installer
