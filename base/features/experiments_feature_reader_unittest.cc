#include "base/features/experiments_feature_reader.h"

#include <memory>

#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ExperimentsFeatureReaderTest, ParsesNameAtGroup) {
  struct Case {
    const char* entry;
    const char* name;
    bool enabled;
  } cases[] = {
      {"foo@1", "foo", true},
      {"foo@2", "foo", false},
      {"  foo \t@ 1 ", "foo", true},
      {"@1", "", true},
      {"with space@2", "with space", false},
  };
  for (const Case& c : cases) {
    FeatureOverride out{"unset", false};
    ASSERT_TRUE(ParseExperimentFeatureEntry(c.entry, &out)) << c.entry;
    EXPECT_EQ(c.name, out.name) << c.entry;
    EXPECT_EQ(c.enabled, out.enabled) << c.entry;
  }
}

TEST(ExperimentsFeatureReaderTest, RefusesOtherEntriesAndLeavesTheOutputAlone) {
  for (const char* entry : {"foo@3", "foo@0", "foo@-1", "foo", "foo@1@2", "foo@", "@", "",
                            "foo@1x", "foo@01x", "foo@99999999999", "foo@1.0"}) {
    FeatureOverride out{"unset", true};
    EXPECT_FALSE(ParseExperimentFeatureEntry(entry, &out)) << entry;
    EXPECT_EQ("unset", out.name) << entry;
    EXPECT_TRUE(out.enabled) << entry;
  }
}

TEST(ExperimentsFeatureReaderTest, ReadsStringEntriesInOrderAndSkipsTheRest) {
  ListValue list;
  list.AppendString("a@1");
  list.AppendInteger(1);
  list.AppendString("bad@7");
  list.Append(std::make_unique<ListValue>());
  list.AppendString("a@2");
  list.AppendBoolean(true);
  list.AppendString("b@1");

  std::vector<FeatureOverride> out = {{"earlier", true}};
  ExperimentsFeatureReader reader(&list);
  reader.ReadOverrides(&out);
  ASSERT_EQ(4u, out.size());
  EXPECT_EQ("earlier", out[0].name);
  EXPECT_EQ("a", out[1].name);
  EXPECT_TRUE(out[1].enabled);
  EXPECT_EQ("a", out[2].name);
  EXPECT_FALSE(out[2].enabled);
  EXPECT_EQ("b", out[3].name);
  EXPECT_TRUE(out[3].enabled);
}

}  // namespace
}  // namespace base
