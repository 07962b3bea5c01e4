#include "base/version.h"

#include <stdint.h>

#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

using Components = std::vector<uint32_t>;

TEST(VersionTest, Parsing) {
  const struct {
    const char* text;
    bool valid;
    Components components;
  } kCases[] = {
      {"1.2.3", true, {1, 2, 3}},
      {"0", true, {0}},
      {"1.02", true, {1, 2}},
      {"52.0.2743.116", true, {52, 0, 2743, 116}},
      {"4294967295.4294967295", true, {4294967295u, 4294967295u}},
      {"01.2", false, {}},
      {"1.+2", false, {1}},
      {"+1.2", false, {}},
      {"-1.2", false, {}},
      {"1.-2", false, {1}},
      {"1..2", false, {1}},
      {"1.2.", false, {1, 2}},
      {".1", false, {}},
      {"", false, {}},
      {" 1.2", false, {}},
      {"1 .2", false, {}},
      {"1. 2", false, {1}},
      {"1.2a", false, {1}},
      {"4294967296", false, {}},
      {"1.4294967296", false, {1}},
  };
  for (const auto& c : kCases) {
    Components parsed;
    EXPECT_EQ(c.valid, ParseVersionNumbers(c.text, &parsed)) << c.text;
    EXPECT_EQ(c.components, parsed) << c.text;
    Version version(c.text);
    EXPECT_EQ(c.valid, version.IsValid()) << c.text;
    // An invalid version keeps nothing of a partial parse.
    EXPECT_EQ(c.valid ? c.components : Components(), version.components())
        << c.text;
  }
  EXPECT_FALSE(Version().IsValid());
}

TEST(VersionTest, Comparison) {
  const struct {
    const char* a;
    const char* b;
    int expected;
  } kCases[] = {
      {"1.2", "1.2", 0},
      {"1.2.0", "1.2", 0},
      {"1.2", "1.2.0.0", 0},
      {"1.2.1", "1.2", 1},
      {"1.2", "1.2.0.1", -1},
      {"1.10", "1.9", 1},
      {"2", "1.99.99", 1},
      {"1.0.0.9", "1.0.1", -1},
      {"4294967295", "4294967294.9", 1},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.expected, Version(c.a).CompareTo(Version(c.b)))
        << c.a << " vs " << c.b;
    EXPECT_EQ(-c.expected, Version(c.b).CompareTo(Version(c.a)))
        << c.b << " vs " << c.a;
  }
  EXPECT_EQ(0, CompareVersionComponents({}, {0, 0}));
  EXPECT_EQ(-1, CompareVersionComponents({}, {0, 1}));
}

}  // namespace
}  // namespace base
