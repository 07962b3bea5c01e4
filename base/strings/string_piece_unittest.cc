#include "base/strings/string_piece.h"

#include <map>
#include <sstream>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

const size_t npos = StringPiece::npos;

TEST(StringPieceTest, ConstructionFromCStrings) {
  EXPECT_EQ(0u, StringPiece(static_cast<const char*>(nullptr)).size());
  EXPECT_EQ(0u, StringPiece("").size());
  const char text[] = "ab\0cd";
  StringPiece piece(text);
  EXPECT_EQ(text, piece.data());
  EXPECT_EQ(2u, piece.size());
  EXPECT_EQ(5u, StringPiece(text, 5).size());

  EXPECT_EQ(0u, StringPiece16(static_cast<const char16*>(nullptr)).size());
  EXPECT_EQ(3u, StringPiece16(u"xyz").size());
  EXPECT_EQ(u"xyz", StringPiece16(u"xyz").as_string());
  // A string with embedded NULs keeps them.
  std::string with_nul("a\0b", 3);
  EXPECT_EQ(with_nul, StringPiece(with_nul).as_string());
}

TEST(StringPieceTest, EqualityAndOrdering) {
  EXPECT_TRUE(StringPiece() == StringPiece(""));
  EXPECT_TRUE(StringPiece("abc", 0) == StringPiece("xyz", 0));
  EXPECT_TRUE(StringPiece("abc") == std::string("abc"));
  EXPECT_TRUE(std::string("abc") == StringPiece("abc"));
  EXPECT_FALSE(StringPiece("abc") == StringPiece("ab"));
  EXPECT_FALSE(StringPiece() == StringPiece("a"));
  EXPECT_FALSE(StringPiece16(u"a") == StringPiece16());
  EXPECT_TRUE(StringPiece("abc") != "abd");
  EXPECT_TRUE(StringPiece16(u"a") == string16(u"a"));

  // Bytes compare unsigned; on a tie the shorter sorts first.
  EXPECT_LT(StringPiece("a"), StringPiece("\x80"));
  EXPECT_LT(StringPiece("ab"), StringPiece("abc"));
  EXPECT_GT(StringPiece("b"), StringPiece("abc"));
  EXPECT_LE(StringPiece("ab"), StringPiece("ab"));
  EXPECT_GE(StringPiece("ab"), StringPiece("ab"));
  EXPECT_EQ(0, StringPiece().compare(StringPiece("")));
  EXPECT_LT(StringPiece16(u"\u00ff"), StringPiece16(u"\uff00"));

  std::map<StringPiece, int> map;
  map["b"] = 2;
  map["a"] = 1;
  map["ab"] = 3;
  auto it = map.begin();
  EXPECT_EQ("a", it++->first);
  EXPECT_EQ("ab", it++->first);
  EXPECT_EQ("b", it->first);
}

TEST(StringPieceTest, SubstringSearches) {
  StringPiece s("abcabc");
  EXPECT_EQ(0u, s.find("abc"));
  EXPECT_EQ(3u, s.find("abc", 1));
  EXPECT_EQ(npos, s.find("abd"));
  EXPECT_EQ(npos, s.find("abc", 7));
  EXPECT_EQ(6u, s.find("", 6));
  EXPECT_EQ(2u, s.find('c'));
  EXPECT_EQ(npos, s.find('x'));
  EXPECT_EQ(3u, s.rfind("abc"));
  EXPECT_EQ(0u, s.rfind("abc", 2));
  EXPECT_EQ(5u, s.rfind('c'));
  EXPECT_EQ(2u, s.rfind('c', 4));
  EXPECT_EQ(npos, s.rfind("abcabcd"));
  EXPECT_EQ(6u, s.rfind(""));
  EXPECT_EQ(2u, s.rfind("", 2));
  EXPECT_EQ(npos, StringPiece().find("a"));
  EXPECT_EQ(npos, StringPiece().rfind('a'));
  EXPECT_EQ(0u, StringPiece().find(""));

  StringPiece16 w(u"a\u00e9b\u00e9");
  EXPECT_EQ(1u, w.find(u'\u00e9'));
  EXPECT_EQ(3u, w.rfind(u'\u00e9'));
  EXPECT_EQ(2u, w.find(u"b\u00e9"));
}

TEST(StringPieceTest, SetSearches) {
  StringPiece abc("abc");
  // An empty set: nothing is in it.
  EXPECT_EQ(0u, abc.find_first_not_of(""));
  EXPECT_EQ(2u, abc.find_last_not_of(""));
  EXPECT_EQ(npos, abc.find_last_of(""));
  EXPECT_EQ(npos, abc.find_first_of(""));
  // One byte is compared directly, more go through the table.
  EXPECT_EQ(1u, abc.find_first_not_of("a"));
  EXPECT_EQ(2u, abc.find_first_not_of("ab"));
  EXPECT_EQ(npos, abc.find_first_not_of("cba"));
  EXPECT_EQ(1u, abc.find_last_of("b"));
  EXPECT_EQ(1u, abc.find_last_of("xb"));
  EXPECT_EQ(npos, abc.find_last_of("xy"));
  EXPECT_EQ(1u, abc.find_last_not_of("c"));
  EXPECT_EQ(0u, abc.find_last_not_of("cb"));
  EXPECT_EQ(npos, abc.find_last_not_of("abc"));
  EXPECT_EQ(1u, abc.find_first_of("cb"));
  EXPECT_EQ(2u, abc.find_first_of("cb", 2));
  EXPECT_EQ(0u, abc.find_last_of("ab", 0));
  // An empty view finds nothing.
  EXPECT_EQ(npos, StringPiece().find_first_not_of(""));
  EXPECT_EQ(npos, StringPiece().find_last_not_of("a"));

  // High bytes are table indexes 128 to 255, never negative, and do not
  // collide with ASCII.
  StringPiece high("a\x80\xff" "b");
  EXPECT_EQ(1u, high.find_first_of("\xff\x80"));
  EXPECT_EQ(2u, high.find_last_of("\xff\x01"));
  EXPECT_EQ(3u, high.find_first_not_of("a\x80\xff"));
  EXPECT_EQ(npos, high.find_first_of("\x7f\x01"));

  StringPiece16 wide(u" \u3000x ");
  EXPECT_EQ(2u, wide.find_first_not_of(u" \u3000"));
  EXPECT_EQ(2u, wide.find_last_not_of(u" \u3000"));
  EXPECT_EQ(1u, wide.find_first_of(u"\u3000"));
  EXPECT_EQ(npos, wide.find_first_of(u"\u3001"));
}

TEST(StringPieceTest, SubstrClampsAndPrefixes) {
  StringPiece abc("abc");
  EXPECT_TRUE(abc.substr(10, 5).empty());
  EXPECT_EQ("bc", abc.substr(1, npos));
  EXPECT_EQ("bc", abc.substr(1));
  EXPECT_EQ("b", abc.substr(1, 1));
  EXPECT_EQ("bc", abc.substr(1, 3));
  EXPECT_EQ("c", abc.substr(2, 2));
  EXPECT_EQ("", abc.substr(3));

  StringPiece p("hello");
  p.remove_prefix(1);
  p.remove_suffix(1);
  EXPECT_EQ("ell", p);
  EXPECT_EQ('e', p.front());
  EXPECT_EQ('l', p.back());

  std::string out = "x";
  p.AppendToString(&out);
  EXPECT_EQ("xell", out);
  p.CopyToString(&out);
  EXPECT_EQ("ell", out);
  StringPiece().CopyToString(&out);
  EXPECT_EQ("", out);

  std::ostringstream stream;
  stream << StringPiece("a\0b", 3);
  EXPECT_EQ(std::string("a\0b", 3), stream.str());
}

}  // namespace
}  // namespace base
