#include "base/vlog.h"

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(VlogInfoTest, ModuleAndPathPatternsInOrder) {
  int min_log_level = 0;
  VlogInfo info("", "foo=2,*/bar/*=3, foo*=4", &min_log_level);
  ASSERT_EQ(3u, info.patterns().size());
  EXPECT_EQ(VlogInfo::MATCH_MODULE, info.patterns()[0].match_target);
  EXPECT_EQ(VlogInfo::MATCH_FILE, info.patterns()[1].match_target);

  EXPECT_EQ(3, info.GetVlogLevel("x\\bar\\baz.cc"));
  EXPECT_EQ(2, info.GetVlogLevel("x/bar/foo.cc")) << "first match wins";
  EXPECT_EQ(2, info.GetVlogLevel("dir\\foo-inl.h"));
  EXPECT_EQ(4, info.GetVlogLevel("foobar.cc"));
  EXPECT_EQ(0, info.GetVlogLevel("other.cc"));
  min_log_level = -1;
  EXPECT_EQ(1, info.GetVlogLevel("other.cc")) << "follows the minimum level";
}

TEST(VlogInfoTest, SwitchValues) {
  int min_log_level = 0;
  VlogInfo verbose("2", "", &min_log_level);
  EXPECT_EQ(-2, min_log_level);
  EXPECT_EQ(2, verbose.GetVlogLevel("any.cc"));

  min_log_level = 1;
  VlogInfo unparsable("x2", "", &min_log_level);
  EXPECT_EQ(1, min_log_level);

  // Malformed items are skipped; a bad level keeps what the parser left.
  VlogInfo patterns("", "a=1,,nolevel,b=,c==2,d=x", &min_log_level);
  ASSERT_EQ(3u, patterns.patterns().size());
  EXPECT_EQ("a", patterns.patterns()[0].pattern);
  EXPECT_EQ("c", patterns.patterns()[1].pattern);
  EXPECT_EQ(2, patterns.patterns()[1].vlog_level);
  EXPECT_EQ("d", patterns.patterns()[2].pattern);
  EXPECT_EQ(0, patterns.patterns()[2].vlog_level);
}

}  // namespace
}  // namespace base
