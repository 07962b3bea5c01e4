#include "base/strings/string_util.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringUtilTest, WhitespaceSets) {
  const string16 wide(kWhitespaceUTF16);
  EXPECT_EQ(25u, wide.size());
  for (char16 c : {0x09, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A,
                   0x2028, 0x2029, 0x202F, 0x205F, 0x3000}) {
    EXPECT_NE(string16::npos, wide.find(c)) << c;
  }
  for (char16 c : {0x08, 0x0E, 0x200B, 0xFEFF, 0x3001})
    EXPECT_EQ(string16::npos, wide.find(c)) << c;
  EXPECT_EQ(std::string("\t\n\v\f\r "), kWhitespaceASCII);
}

TEST(StringUtilTest, TrimString16) {
  string16 out = u"junk";
  EXPECT_EQ(TRIM_NONE, TrimString16(u"", kWhitespaceUTF16, &out));
  EXPECT_EQ(u"", out);
  out = u"junk";
  EXPECT_EQ(TRIM_ALL, TrimString16(u"  \t", kWhitespaceUTF16, &out));
  EXPECT_EQ(u"", out);
  EXPECT_EQ(TRIM_LEADING, TrimString16(u" a", kWhitespaceUTF16, &out));
  EXPECT_EQ(u"a", out);
  EXPECT_EQ(TRIM_TRAILING, TrimString16(u"a\u3000", kWhitespaceUTF16, &out));
  EXPECT_EQ(u"a", out);
  EXPECT_EQ(TRIM_NONE, TrimString16(u"a", kWhitespaceUTF16, &out));
  EXPECT_EQ(u"a", out);
  EXPECT_EQ(TRIM_ALL,
            TrimString16(u"\u00a0 a b\u2029\n", kWhitespaceUTF16, &out));
  EXPECT_EQ(u"a b", out);
  // An empty set trims nothing; other sets work too.
  EXPECT_EQ(TRIM_NONE, TrimString16(u" a ", u"", &out));
  EXPECT_EQ(u" a ", out);
  EXPECT_EQ(TRIM_TRAILING, TrimString16(u"\"a\"x", u"x", &out));
  EXPECT_EQ(u"\"a\"", out);

  // In place.
  string16 text = u"\t text \r\n";
  EXPECT_EQ(TRIM_ALL, TrimString16(text, kWhitespaceUTF16, &text));
  EXPECT_EQ(u"text", text);
}

TEST(StringUtilTest, CaseHelpers) {
  EXPECT_EQ("abz[\xc3\x89@", ToLowerASCII("ABZ[\xc3\x89@"));
  EXPECT_EQ("ABZ[", ToUpperASCII("abz["));
  EXPECT_EQ("`{\xc3\xa9", ToUpperASCII("`{\xc3\xa9"));
  EXPECT_EQ(std::string("A\0B", 3), ToUpperASCII(StringPiece("a\0b", 3)));
  EXPECT_EQ("", ToLowerASCII(""));

  EXPECT_TRUE(LowerCaseEqualsASCII16(u"", ""));
  EXPECT_TRUE(LowerCaseEqualsASCII16(u"HeLLo", "hello"));
  EXPECT_FALSE(LowerCaseEqualsASCII16(u"hello", "HELLO"));
  EXPECT_FALSE(LowerCaseEqualsASCII16(u"hell", "hello"));
  EXPECT_FALSE(LowerCaseEqualsASCII16(u"hello!", "hello"));
  // A wide unit whose low byte is ASCII does not pass for it.
  EXPECT_FALSE(LowerCaseEqualsASCII16(u"\u0161", "a"));
  // High bytes match nothing, not even the unit of the same value.
  EXPECT_FALSE(LowerCaseEqualsASCII16(u"\u00e9", "\xe9"));
  EXPECT_FALSE(LowerCaseEqualsASCII16(u"\uffe9", "\xe9"));

  EXPECT_TRUE(EndsWith16(u"File.EXE", u".exe", INSENSITIVE_ASCII));
  EXPECT_FALSE(EndsWith16(u"File.EXE", u".exe", SENSITIVE));
  EXPECT_TRUE(EndsWith16(u"File.exe", u".exe", SENSITIVE));
  EXPECT_TRUE(EndsWith16(u"abc", u"", SENSITIVE));
  EXPECT_TRUE(EndsWith16(u"", u"", INSENSITIVE_ASCII));
  EXPECT_FALSE(EndsWith16(u"exe", u".exe", INSENSITIVE_ASCII));
  // The units past a short view must not be looked at.
  EXPECT_FALSE(EndsWith16(StringPiece16(u"aaaa", 1), u"aaa", SENSITIVE));
  // Only A to Z fold.
  EXPECT_FALSE(EndsWith16(u"\u00c9", u"\u00e9", INSENSITIVE_ASCII));
  EXPECT_FALSE(EndsWith16(u"[", u"{", INSENSITIVE_ASCII));
}

TEST(StringUtilTest, IsStringASCII) {
  EXPECT_TRUE(IsStringASCII(""));
  EXPECT_TRUE(IsStringASCII16(u""));
  EXPECT_TRUE(IsStringASCII16Str(string16()));
  EXPECT_FALSE(IsStringASCII("\x80"));
  EXPECT_TRUE(IsStringASCII(StringPiece("\x7f\0", 2)));

  // One high unit at every position and alignment of texts long enough to
  // pass through the word loop, so that the head, the words and the tail
  // all get looked at.
  std::string narrow(80, 'a');
  string16 wide(80, u'a');
  for (size_t start = 0; start < 8; ++start) {
    for (size_t len = 0; start + len <= narrow.size(); len += 7) {
      StringPiece n(narrow.data() + start, len);
      StringPiece16 w(wide.data() + start, len);
      ASSERT_TRUE(IsStringASCII(n));
      ASSERT_TRUE(IsStringASCII16(w));
      for (size_t i = 0; i < len; ++i) {
        narrow[start + i] = '\x80';
        EXPECT_FALSE(IsStringASCII(n)) << start << " " << len << " " << i;
        narrow[start + i] = 'a';
        wide[start + i] = 0x0100;
        EXPECT_FALSE(IsStringASCII16(w)) << start << " " << len << " " << i;
        wide[start + i] = 0x0080;
        EXPECT_FALSE(IsStringASCII16(w)) << start << " " << len << " " << i;
        wide[start + i] = u'a';
      }
    }
  }
  EXPECT_FALSE(IsStringASCII16Str(string16(20, u'a') + u'\u8000'));
}

TEST(StringUtilTest, IsValidCharacter) {
  for (uint32_t c : {0xFFFEu, 0x1FFFFu, 0xFDD0u, 0xFDEFu, 0xD800u, 0xDFFFu,
                     0xFFFFu, 0x10FFFEu, 0x110000u, 0xFFFFFFFFu})
    EXPECT_FALSE(IsValidCharacter(c)) << std::hex << c;
  for (uint32_t c : {0x0u, 0x41u, 0xD7FFu, 0xE000u, 0xFDCFu, 0xFDF0u,
                     0xFFFDu, 0x10000u, 0x1FFFDu, 0x10FFFDu})
    EXPECT_TRUE(IsValidCharacter(c)) << std::hex << c;
}

TEST(StringUtilTest, CollapseWhitespaceASCII) {
  EXPECT_EQ("x", CollapseWhitespaceASCII("\r\n  x  \r\n"));
  EXPECT_EQ("xy", CollapseWhitespaceASCII("x \n y"));
  EXPECT_EQ("", CollapseWhitespaceASCII(""));
  EXPECT_EQ("", CollapseWhitespaceASCII(" \t\r\n "));
  EXPECT_EQ("ab", CollapseWhitespaceASCII("  a \r\n b  "));
  EXPECT_EQ("a b", CollapseWhitespaceASCII("a  b"));
  EXPECT_EQ("ab", CollapseWhitespaceASCII("a \r b"));
  EXPECT_EQ("ab", CollapseWhitespaceASCII("a\nb"));
  EXPECT_EQ("a b", CollapseWhitespaceASCII("a\tb"));
  EXPECT_EQ("a b c", CollapseWhitespaceASCII("a\v\fb\t c\t"));
  // UTF-8 bytes 0x85 and 0xA0 are text, not whitespace.
  EXPECT_EQ("\x85" "a\xa0", CollapseWhitespaceASCII(" \x85" "a\xa0 "));
  EXPECT_EQ("\xc2\xa0", CollapseWhitespaceASCII("\xc2\xa0"));
}

TEST(StringUtilTest, ReplaceChars) {
  std::string out;
  EXPECT_TRUE(ReplaceChars("a.b.c", ".", "::", &out));
  EXPECT_EQ("a::b::c", out);
  EXPECT_FALSE(ReplaceChars("abc", "x", "::", &out));
  EXPECT_EQ("abc", out);
  EXPECT_FALSE(ReplaceChars("abc", "", "::", &out));
  EXPECT_EQ("abc", out);
  // Inserted text is not searched again.
  EXPECT_TRUE(ReplaceChars("a/b", "/", "//", &out));
  EXPECT_EQ("a//b", out);
  EXPECT_TRUE(ReplaceChars("x<y>", "<>", "", &out));
  EXPECT_EQ("xy", out);
  EXPECT_TRUE(ReplaceChars("\xff" "a\xfe", "\xfe\xff", "?", &out));
  EXPECT_EQ("?a?", out);

  // The output may be the input, and the replacement may be either.
  std::string s = "a-b";
  EXPECT_TRUE(ReplaceChars(s, "-", s, &s));
  EXPECT_EQ("aa-bb", s);
}

TEST(StringUtilTest, ReplaceSubstringsAfterOffset) {
  struct Case {
    const char* str;
    size_t offset;
    const char* find;
    const char* replace;
    bool all;
    const char* expected;
  } cases[] = {
      {"aaaaa", 0, "aa", "b", true, "bba"},
      {"aaaaa", 0, "aa", "ccc", true, "cccccca"},
      {"aaaaa", 0, "aa", "b", false, "baaa"},
      {"aaaaa", 0, "aa", "xy", true, "xyxya"},
      {"aaaaa", 1, "aa", "b", true, "abb"},
      {"abcabc", 0, "b", "", true, "acac"},
      {"abcabc", 0, "abc", "", true, ""},
      {"abc", 0, "x", "yy", true, "abc"},
      {"abc", 4, "a", "b", true, "abc"},
      {"x", 0, "x", "xxxx", true, "xxxx"},
      {"-x-x-", 0, "x", "<y>", true, "-<y>-<y>-"},
      {"-x-x-", 0, "x", "<y>", false, "-<y>-x-"},
      {"one two two", 0, "two", "2", true, "one 2 2"},
      {"", 0, "a", "b", true, ""},
  };
  for (const Case& c : cases) {
    std::string str = c.str;
    ReplaceSubstringsAfterOffset(&str, c.offset, c.find, c.replace, c.all);
    EXPECT_EQ(c.expected, str) << c.str << " " << c.find << " " << c.replace;
  }

  // Nothing to find changes nothing (and returns).
  std::string str = "abc";
  ReplaceSubstringsAfterOffset(&str, 0, "", "x", true);
  EXPECT_EQ("abc", str);
  ReplaceSubstringsAfterOffset(&str, 0, "", "x", false);
  EXPECT_EQ("abc", str);

  // Texts that view the string being changed, long enough that growing
  // it moves it.
  str = "abc-abc-abc-abc-abc";
  ReplaceSubstringsAfterOffset(&str, 0, StringPiece(str).substr(0, 3), str,
                               true);
  EXPECT_EQ(
      "abc-abc-abc-abc-abc-abc-abc-abc-abc-abc-abc-abc-abc-abc-abc-abc-abc-"
      "abc-abc-abc-abc-abc-abc-abc-abc",
      str);
  str = "-ab-ab-ab";
  ReplaceSubstringsAfterOffset(&str, 0, StringPiece(str).substr(1, 2), "",
                               true);
  EXPECT_EQ("---", str);
  str = "ab-ab";
  ReplaceSubstringsAfterOffset(&str, 0, StringPiece(str).substr(2, 1),
                               StringPiece(str).substr(0, 1), true);
  EXPECT_EQ("abaab", str);
}

TEST(StringUtilTest, JoinString) {
  EXPECT_EQ("", JoinString({}, ","));
  EXPECT_EQ("a", JoinString({"a"}, ","));
  EXPECT_EQ("a,,b", JoinString({"a", "", "b"}, ","));
  EXPECT_EQ("ab", JoinString({"a", "b"}, ""));
  EXPECT_EQ("a, b", JoinString({"a", "b"}, ", "));
  EXPECT_EQ(u"", JoinString16({}, u","));
  EXPECT_EQ(u"x\u00e9y\u00e9", JoinString16({u"x", u"y", u""}, u"\u00e9"));
}

TEST(StringUtilTest, ReplaceStringPlaceholders) {
  const std::vector<std::string> x = {"x"};
  EXPECT_EQ("x and ", ReplaceStringPlaceholders("$1 and $2", x, nullptr));
  EXPECT_EQ("ab", ReplaceStringPlaceholders("a$0b$a", x, nullptr));
  EXPECT_EQ("a", ReplaceStringPlaceholders("a$", x, nullptr));
  EXPECT_EQ("$1", ReplaceStringPlaceholders("$$1", x, nullptr));
  EXPECT_EQ("$", ReplaceStringPlaceholders("$$", x, nullptr));
  EXPECT_EQ("$$x", ReplaceStringPlaceholders("$$$x", x, nullptr));
  EXPECT_EQ("x0", ReplaceStringPlaceholders("$10", x, nullptr));
  EXPECT_EQ("", ReplaceStringPlaceholders("", x, nullptr));

  const std::vector<std::string> nine = {"1", "2", "3", "4", "5",
                                         "6", "7", "8", "9"};
  EXPECT_EQ("987654321", ReplaceStringPlaceholders("$9$8$7$6$5$4$3$2$1$ ",
                                                    nine, nullptr));

  std::vector<size_t> offsets;
  EXPECT_EQ("abab",
            ReplaceStringPlaceholders("$1$1", {"ab"}, &offsets));
  EXPECT_EQ((std::vector<size_t>{2, 0}), offsets);

  // Ordered by placeholder number; a missing substitution still records
  // where it stood; earlier contents of the vector are kept.
  offsets = {99};
  EXPECT_EQ("B-A-", ReplaceStringPlaceholders("$2-$1-$3", {"A", "B"},
                                              &offsets));
  EXPECT_EQ((std::vector<size_t>{99, 2, 0, 4}), offsets);
  // Only $1 to $9 are placeholders, so only they record a position.
  offsets.clear();
  EXPECT_EQ("ab", ReplaceStringPlaceholders("$0a$ b$", {"x"}, &offsets));
  EXPECT_TRUE(offsets.empty());

  offsets.clear();
  EXPECT_EQ(u"Install Palvo to C:\\x? \u00e9",
            ReplaceStringPlaceholders16(u"Install $1 to $2? \u00e9",
                                        {u"Palvo", u"C:\\x"}, &offsets));
  EXPECT_EQ((std::vector<size_t>{8, 17}), offsets);
  EXPECT_EQ(u"$", ReplaceStringPlaceholders16(u"$$", {}, nullptr));
}

}  // namespace
}  // namespace base
