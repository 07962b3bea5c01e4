#include "base/features/experiments_feature_reader.h"

#include <memory>

#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ExperimentsFeatureReaderTest, ParsesNameAtOneOrTwo) {
  FeatureOverride out;
  ASSERT_TRUE(ParseExperimentFeatureEntry("  foo \t@ 2 ", &out));
  EXPECT_EQ("foo", out.name);
  EXPECT_FALSE(out.enabled);
  ASSERT_TRUE(ParseExperimentFeatureEntry("@1", &out));
  EXPECT_EQ("", out.name);
  EXPECT_TRUE(out.enabled);

  for (const char* entry :
       {"foo@3", "foo@0", "foo", "foo@1@2", "foo@", "", "foo@1x", "foo@99999999999", "foo@1.0"}) {
    FeatureOverride kept{"kept", false};
    EXPECT_FALSE(ParseExperimentFeatureEntry(entry, &kept)) << entry;
    EXPECT_EQ("kept", kept.name) << entry;
  }
}

TEST(ExperimentsFeatureReaderTest, ReadsStringEntriesInOrderAndSkipsTheRest) {
  ListValue list;
  list.AppendString("a@1");
  list.AppendInteger(1);
  list.AppendString("bad@7");
  list.Append(std::make_unique<ListValue>());
  list.AppendString("a@2");

  std::vector<FeatureOverride> out = {{"earlier", true}};
  ExperimentsFeatureReader reader(&list);
  reader.ReadOverrides(&out);
  ASSERT_EQ(3u, out.size());
  EXPECT_EQ("a", out[1].name);
  EXPECT_TRUE(out[1].enabled);
  EXPECT_EQ("a", out[2].name);
  EXPECT_FALSE(out[2].enabled);
}

}  // namespace
}  // namespace base
