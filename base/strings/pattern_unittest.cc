#include "base/strings/pattern.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(MatchPatternTest, Wildcards) {
  EXPECT_TRUE(MatchPattern("disabled-by-default-memory", "disabled-by-default-*"));
  EXPECT_TRUE(MatchPattern("abc", "a?c"));
  EXPECT_TRUE(MatchPattern("abc", "a?bc"));  // '?' matching nothing.
  EXPECT_TRUE(MatchPattern("abc", "a*"));
  EXPECT_TRUE(MatchPattern("abc", "*c"));
  EXPECT_TRUE(MatchPattern("abc", "*b*"));
  EXPECT_TRUE(MatchPattern("abc", "abc"));
  EXPECT_TRUE(MatchPattern("abc", "a**?*c"));
  EXPECT_FALSE(MatchPattern("abc", "*d"));
  EXPECT_FALSE(MatchPattern("abc", "ab"));
  EXPECT_FALSE(MatchPattern("ab", "abc"));
  EXPECT_FALSE(MatchPattern("abcd", "a?d"));
  EXPECT_FALSE(MatchPattern("abc", ""));
  EXPECT_TRUE(MatchPattern("", "*"));
  EXPECT_TRUE(MatchPattern("", "?"));
  EXPECT_TRUE(MatchPattern("", ""));
  EXPECT_FALSE(MatchPattern("", "a"));
  EXPECT_TRUE(MatchPattern("Foo.cc", "*.cc"));
  EXPECT_FALSE(MatchPattern("foo.CC", "*.cc"));  // Case matters.
}

TEST(MatchPatternTest, Escapes) {
  EXPECT_TRUE(MatchPattern("a*b", "a\\*b"));
  EXPECT_FALSE(MatchPattern("axb", "a\\*b"));
  EXPECT_TRUE(MatchPattern("a?", "a\\?"));
  EXPECT_FALSE(MatchPattern("ab", "a\\?"));
  EXPECT_TRUE(MatchPattern("a\\b", "a\\\\b"));
  EXPECT_TRUE(MatchPattern("x*y", "*\\**"));
}

TEST(MatchPatternTest, Utf8Characters) {
  // '?' takes one whole character, not one byte.
  EXPECT_TRUE(MatchPattern("a\xC3\xA9" "c", "a?c"));
  EXPECT_TRUE(MatchPattern("\xE4\xB8\xAD", "?"));
  EXPECT_TRUE(MatchPattern("x\xE4\xB8\xAD" "y", "x*y"));
  EXPECT_TRUE(MatchPattern("\xC3\xA9", "\xC3\xA9"));
  // Invalid bytes equal nothing, not even themselves.
  EXPECT_FALSE(MatchPattern("\xFF", "\xFF"));
  EXPECT_FALSE(MatchPattern("a\x80", "a\x80"));
  EXPECT_TRUE(MatchPattern("a\x80", "a*"));
  EXPECT_TRUE(MatchPattern("a\x80", "a?"));
  // A truncated sequence at the end is not a character.
  EXPECT_FALSE(MatchPattern("\xC3", "\xC3"));
}

TEST(MatchPatternTest, NestingIsBounded) {
  // Sixteen wildcard branches are still tried; more fail instead of
  // recursing deeper.
  std::string sixteen;
  for (int i = 0; i < 16; ++i)
    sixteen += "*a";
  EXPECT_TRUE(MatchPattern(std::string(16, 'a'), sixteen));
  EXPECT_TRUE(MatchPattern(std::string(17, 'a'), sixteen));
  EXPECT_FALSE(MatchPattern(std::string(17, 'a'), sixteen + "*a"));
  EXPECT_TRUE(MatchPattern(std::string(17, 'a'), sixteen + "a"));
  std::string pattern;
  for (int i = 0; i < 10000; ++i)
    pattern += "?x";
  EXPECT_FALSE(MatchPattern(std::string(10000, 'x'), pattern));

  // Failing matches that would try every way of placing the stars: each
  // way is tried once, or these would not end in any time.
  EXPECT_FALSE(MatchPattern(std::string(300, 'a'), sixteen + "b"));
  EXPECT_FALSE(MatchPattern(std::string(300, 'a'), "*a*a?a*?*a*a" + sixteen + "b"));
  EXPECT_TRUE(MatchPattern(std::string(300, 'a') + "b", "*a*a?a*?*a*ab"));
}

}  // namespace
}  // namespace base
