#include "base/features/feature_registry.h"

#include <memory>
#include <utility>
#include <vector>

#include "base/features/experiments_feature_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class ListReader : public FeatureReader {
 public:
  explicit ListReader(std::vector<FeatureOverride> overrides) : overrides_(std::move(overrides)) {}
  void ReadOverrides(std::vector<FeatureOverride>* out) override {
    out->insert(out->end(), overrides_.begin(), overrides_.end());
  }

 private:
  std::vector<FeatureOverride> overrides_;
};

TEST(FeatureRegistryTest, DefaultsAndUnknownNames) {
  FeatureRegistry registry;
  registry.AddFeature("on", true, true);
  registry.AddFeature("off", false, true);
  EXPECT_TRUE(registry.IsEnabled("on"));
  EXPECT_FALSE(registry.IsEnabled("off"));
  EXPECT_FALSE(registry.IsEnabled("never"));
  // Names compare exactly, case included.
  EXPECT_FALSE(registry.IsEnabled("On"));
  EXPECT_FALSE(registry.IsEnabled("on "));
  EXPECT_FALSE(registry.IsEnabled(""));
}

TEST(FeatureRegistryTest, OverridesApplyOnlyToOverridableFeaturesAndTheLastWins) {
  FeatureRegistry registry;
  registry.AddFeature("free", false, true);
  registry.AddFeature("fixed", true, false);
  ListReader first({{"free", true}, {"fixed", false}, {"unknown", true}});
  registry.ReadOverridesFrom(&first);
  EXPECT_TRUE(registry.IsEnabled("free"));
  EXPECT_TRUE(registry.IsEnabled("fixed"));
  EXPECT_FALSE(registry.IsEnabled("unknown"));

  ListReader second({{"free", false}, {"free", true}, {"free", false}});
  registry.ReadOverridesFrom(&second);
  EXPECT_FALSE(registry.IsEnabled("free"));
  EXPECT_EQ(6u, registry.overrides().size());
}

TEST(FeatureRegistryTest, FirstRegistrationOfANameCounts) {
  FeatureRegistry registry;
  registry.AddFeature("twice", false, false);
  registry.AddFeature("twice", true, true);
  ListReader reader({{"twice", true}});
  registry.ReadOverridesFrom(&reader);
  EXPECT_FALSE(registry.IsEnabled("twice"));
}

TEST(FeatureRegistryTest, CommandLineOverridesBeatExperimentsReadBefore) {
  FeatureRegistry registry;
  registry.AddFeature("foo", false, true);
  ListValue experiments;
  experiments.AppendString("foo@2");
  ExperimentsFeatureReader experiments_reader(&experiments);
  registry.ReadOverridesFrom(&experiments_reader);
  EXPECT_FALSE(registry.IsEnabled("foo"));
  ListReader switches({{"foo", true}});
  registry.ReadOverridesFrom(&switches);
  EXPECT_TRUE(registry.IsEnabled("foo"));
}

TEST(FeatureRegistryTest, ProcessRegistry) {
  FeatureRegistry* registry = FeatureRegistry::GetInstance();
  ASSERT_NE(nullptr, registry);
  EXPECT_EQ(registry, FeatureRegistry::GetInstance());
  EXPECT_FALSE(IsFeatureEnabled("process-registry-test"));
  registry->AddFeature("process-registry-test", true, false);
  EXPECT_TRUE(IsFeatureEnabled("process-registry-test"));
  EXPECT_EQ("with-feature:process-registry-test", GetFeatureSwitchName("process-registry-test"));
}

}  // namespace
}  // namespace base
