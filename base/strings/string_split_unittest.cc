#include "base/strings/string_split.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

using Strings = std::vector<std::string>;

TEST(SplitStringTest, PiecesAndEmptyPieces) {
  EXPECT_EQ((Strings{"a", "b", "", "c"}),
            SplitString("a,b,,c", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Strings{"a", "b", "c"}),
            SplitString("a,b,,c", ",", KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY));
  EXPECT_EQ((Strings{"a", ""}),
            SplitString("a,", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Strings{"", ""}),
            SplitString(",", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_TRUE(SplitString("", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL).empty());
  EXPECT_EQ((Strings{"a,b"}),
            SplitString("a,b", "", KEEP_WHITESPACE, SPLIT_WANT_ALL));
}

TEST(SplitStringTest, SeparatorSetsAndTrimming) {
  EXPECT_EQ((Strings{"a", "b"}),
            SplitString(" a , b ", ",", TRIM_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Strings{" a ", " b "}),
            SplitString(" a , b ", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Strings{"a", "b"}),
            SplitString("a b", " ,", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Strings{"a", "", "b", "c"}),
            SplitString("a, b;c", " ,;", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Strings{"", "x"}),
            SplitString(" \t,x", ",", TRIM_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Strings{"x"}),
            SplitString(" \t,x", ",", TRIM_WHITESPACE, SPLIT_WANT_NONEMPTY));
  // Narrow text is trimmed of ASCII whitespace only.
  EXPECT_EQ((Strings{"\x85" "a\xA0"}),
            SplitString("\x85" "a\xA0", ",", TRIM_WHITESPACE, SPLIT_WANT_ALL));
  // Bytes above 0x7F work as separators in a set.
  EXPECT_EQ((Strings{"a", "b", "c"}),
            SplitString("a\xFF" "b;c", "\xFF;", KEEP_WHITESPACE,
                        SPLIT_WANT_ALL));
}

TEST(SplitStringTest, Wide) {
  using Strings16 = std::vector<string16>;
  EXPECT_EQ((Strings16{u"a", u"b"}),
            SplitString16(u"\x3000" u"a\x00A0,b", u",", TRIM_WHITESPACE,
                          SPLIT_WANT_ALL));
  EXPECT_EQ((Strings16{u"a", u"", u"b"}),
            SplitString16(u"a\x2028\x2029" u"b", u"\x2028\x2029",
                          KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Strings16{u"x"}),
            SplitString16(u",x,", u",", KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY));
}

TEST(SplitStringTest, PiecesViewTheInput) {
  const std::string input = "one; two ;;";
  std::vector<StringPiece> pieces =
      SplitStringPieceByChar(input, ';', TRIM_WHITESPACE, SPLIT_WANT_ALL);
  ASSERT_EQ(4u, pieces.size());
  EXPECT_EQ("one", pieces[0]);
  EXPECT_EQ("two", pieces[1]);
  EXPECT_EQ(input.data() + 5, pieces[1].data());
  EXPECT_TRUE(pieces[2].empty());
  EXPECT_TRUE(pieces[3].empty());
}

TEST(SplitStringIntoKeyValuePairsTest, GoodAndBadItems) {
  StringPairs pairs = {{"old", "pair"}};
  EXPECT_FALSE(SplitStringIntoKeyValuePairs("a=1, b==2 ,,c", &pairs));
  ASSERT_EQ(3u, pairs.size());
  EXPECT_EQ(std::make_pair(std::string("a"), std::string("1")), pairs[0]);
  EXPECT_EQ(std::make_pair(std::string("b"), std::string("2")), pairs[1]);
  EXPECT_EQ(std::make_pair(std::string(), std::string()), pairs[2]);

  EXPECT_FALSE(SplitStringIntoKeyValuePairs("k=", &pairs));
  ASSERT_EQ(1u, pairs.size());
  EXPECT_EQ(std::make_pair(std::string("k"), std::string()), pairs[0]);

  EXPECT_TRUE(SplitStringIntoKeyValuePairs(" a = b ", &pairs));
  ASSERT_EQ(1u, pairs.size());
  EXPECT_EQ(std::make_pair(std::string("a "), std::string(" b")), pairs[0]);

  // A bad item in the middle does not stop the ones after it.
  EXPECT_FALSE(SplitStringIntoKeyValuePairs("x,foo*=2,=3", &pairs));
  ASSERT_EQ(3u, pairs.size());
  EXPECT_EQ(std::make_pair(std::string("foo*"), std::string("2")), pairs[1]);
  EXPECT_EQ(std::make_pair(std::string(), std::string("3")), pairs[2]);

  EXPECT_TRUE(SplitStringIntoKeyValuePairs("", &pairs));
  EXPECT_TRUE(pairs.empty());
  EXPECT_TRUE(SplitStringIntoKeyValuePairs(" , ,", &pairs));
  EXPECT_TRUE(pairs.empty());
}

}  // namespace
}  // namespace base
