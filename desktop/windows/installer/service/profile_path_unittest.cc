#include "desktop/windows/installer/service/profile_path.h"

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

}  // namespace
}  // namespace installer
