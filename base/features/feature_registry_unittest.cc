#include "base/features/feature_registry.h"

#include <utility>
#include <vector>

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

TEST(FeatureRegistryTest, OverridesFollowTheLastReadAndOnlyForOverridableFeatures) {
  FeatureRegistry registry;
  registry.AddFeature("free", false, true);
  registry.AddFeature("fixed", true, false);
  registry.AddFeature("twice", false, false);
  registry.AddFeature("twice", true, true);  // the first registration counts
  EXPECT_FALSE(registry.IsEnabled("free"));
  EXPECT_TRUE(registry.IsEnabled("fixed"));
  EXPECT_FALSE(registry.IsEnabled("Fixed"));
  EXPECT_FALSE(registry.IsEnabled("never"));

  ListReader first({{"free", true}, {"fixed", false}, {"never", true}, {"twice", true}});
  registry.ReadOverridesFrom(&first);
  EXPECT_TRUE(registry.IsEnabled("free"));
  EXPECT_TRUE(registry.IsEnabled("fixed"));
  EXPECT_FALSE(registry.IsEnabled("never"));
  EXPECT_FALSE(registry.IsEnabled("twice"));

  ListReader second({{"free", false}, {"free", true}, {"free", false}});
  registry.ReadOverridesFrom(&second);
  EXPECT_FALSE(registry.IsEnabled("free"));
}

TEST(FeatureRegistryTest, ProcessRegistry) {
  FeatureRegistry* registry = FeatureRegistry::GetInstance();
  EXPECT_EQ(registry, FeatureRegistry::GetInstance());
  EXPECT_FALSE(IsFeatureEnabled("process-registry-test"));
  registry->AddFeature("process-registry-test", true, false);
  EXPECT_TRUE(IsFeatureEnabled("process-registry-test"));
  EXPECT_EQ("with-feature:x", GetFeatureSwitchName("x"));
}

}  // namespace
}  // namespace base
