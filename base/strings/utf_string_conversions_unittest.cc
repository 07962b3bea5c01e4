#include "base/strings/utf_string_conversions.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

const char16 kFFFD = 0xFFFD;

string16 Units(std::initializer_list<char16> units) {
  return string16(units);
}

// Converts |bytes| through the loop and reports the units and the flag.
string16 Decode(const std::string& bytes, bool* ok) {
  string16 out;
  *ok = ConvertUTF8ToUTF16(bytes.data(), bytes.size(), &out);
  EXPECT_EQ(out, UTF8ToUTF16(bytes));
  return out;
}

TEST(UTFStringConversionsTest, UTF8ToUTF16WellFormed) {
  bool ok = false;
  EXPECT_EQ(Units({0x00E9}), Decode("\xc3\xa9", &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ(Units({0xD83D, 0xDE00}), Decode("\xf0\x9f\x98\x80", &ok));
  EXPECT_TRUE(ok);
  // The extremes of every length.
  const char kExtremes[] =
      "\x00\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80"
      "\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf";
  EXPECT_EQ(Units({0x0000, 0x007F, 0x0080, 0x07FF, 0x0800, 0xD7FF, 0xE000,
                   0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF}),
            Decode(std::string(kExtremes, sizeof(kExtremes) - 1), &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ(u"Palvo \u00e9t\u00e9 \u65e5\u672c",
            UTF8ToUTF16("Palvo \xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac"));
  EXPECT_EQ(u"", Decode("", &ok));
  EXPECT_TRUE(ok);
}

// Every malformed case with the units it must give: one U+FFFD per bad
// sequence, consuming exactly the lead and its trail-form bytes.
TEST(UTFStringConversionsTest, UTF8ToUTF16Malformed) {
  struct Case {
    std::string bytes;
    string16 expected;
  } cases[] = {
      {"\x80", Units({kFFFD})},
      {"\xbf\x80", Units({kFFFD, kFFFD})},
      {"\xe2\x82", Units({kFFFD})},
      {"\xe2\x82" "A", Units({kFFFD, 'A'})},
      {"\xe2" "A\x82", Units({kFFFD, 'A', kFFFD})},
      {"\xed\xa0\x80", Units({kFFFD})},
      {"\xed\xbf\xbf" "b", Units({kFFFD, 'b'})},
      {"\xf4\x90\x80\x80", Units({kFFFD})},
      {"\xf7\xbf\xbf\xbf", Units({kFFFD})},
      {"\xc0\x80", Units({kFFFD})},
      {"\xc1\xbf", Units({kFFFD})},
      {"\xe0\x80\xaf", Units({kFFFD})},
      {"\xe0\x9f\xbf", Units({kFFFD})},
      {"\xf0\x8f\xbf\xbf", Units({kFFFD})},
      {"\xf8\x88\x80\x80\x80", Units({kFFFD})},
      {"\xfc\x84\x80\x80\x80\x80", Units({kFFFD})},
      // The five-byte lead takes at most four trail bytes with it.
      {"\xf8\x88\x80\x80\x80\x80", Units({kFFFD, kFFFD})},
      {"\xf8" "a", Units({kFFFD, 'a'})},
      {"\xfe\xff", Units({kFFFD, kFFFD})},
      {"\xfe\x80", Units({kFFFD, kFFFD})},
      // A two-byte lead followed by more trail bytes than it owns.
      {"\xc3\xa9\xa9", Units({0x00E9, kFFFD})},
      {"\xc3", Units({kFFFD})},
      {"\xc3\xc3\xa9", Units({kFFFD, 0x00E9})},
      {"\xf0\x9f\x98", Units({kFFFD})},
      {"\xf0\x9f\x98" "\xf0\x9f\x98\x80", Units({kFFFD, 0xD83D, 0xDE00})},
      {"a\xf0\x9f" "b", Units({'a', kFFFD, 'b'})},
      {"\xe2\x82\xac\x80" "A", Units({0x20AC, kFFFD, 'A'})},
  };
  for (const Case& c : cases) {
    bool ok = true;
    EXPECT_EQ(c.expected, Decode(c.bytes, &ok))
        << testing::PrintToString(c.bytes);
    EXPECT_FALSE(ok) << testing::PrintToString(c.bytes);
  }
}

// Byte by byte: where each call of the decoder leaves the index.
TEST(UTFStringConversionsTest, ReadUTF8CodePointConsumption) {
  struct Case {
    std::string bytes;
    std::vector<size_t> stops;
  } cases[] = {
      {"a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", {1, 3, 6, 10}},
      {"\xe2\x82" "A", {2, 3}},
      {"\xe2\x41\x82", {1, 2, 3}},
      {"\xf0\x80\x80\x80\x80", {4, 5}},
      {"\xf8\x80\x80\x80\x80\x80", {5, 6}},
      {"\xfd\x80\x80\x80\x80\x80\x80", {6, 7}},
      {"\xfd\x80\x80", {3}},
      {"\xff\x80\x80", {1, 2, 3}},
      {"\xc2\x80\x80", {2, 3}},
      {"\xf7\xbf\xbf\xbf\xbf", {4, 5}},
      {"\xfb\xbf\xbf\xbf\xbf\xbf", {5, 6}},
      {"\xdf\xbf\xbf", {2, 3}},
      {"\xef\xbf\xbf\xbf", {3, 4}},
  };
  for (const Case& c : cases) {
    size_t index = 0;
    std::vector<size_t> stops;
    while (index < c.bytes.size() && stops.size() < c.bytes.size()) {
      uint32_t code_point;
      ReadUTF8CodePoint(c.bytes.data(), c.bytes.size(), &index, &code_point);
      stops.push_back(index);
    }
    EXPECT_EQ(c.stops, stops) << testing::PrintToString(c.bytes);
  }

  uint32_t code_point = 0;
  size_t index = 0;
  EXPECT_TRUE(ReadUTF8CodePoint("\xf4\x8f\xbf\xbf", 4, &index, &code_point));
  EXPECT_EQ(0x10FFFFu, code_point);
  index = 0;
  EXPECT_FALSE(ReadUTF8CodePoint("\xed\xa0\x80", 3, &index, &code_point));
  EXPECT_EQ(0xFFFDu, code_point);
  // A short count stops the decoder even where more bytes follow.
  index = 0;
  EXPECT_FALSE(ReadUTF8CodePoint("\xc3\xa9", 1, &index, &code_point));
  EXPECT_EQ(1u, index);
}

TEST(UTFStringConversionsTest, UTF16ToUTF8) {
  struct Case {
    string16 units;
    std::string expected;
    bool ok;
  } cases[] = {
      {u"", "", true},
      {u"abc", "abc", true},
      {Units({0x00E9, 0x07FF, 0x0800, 0xFFFF}),
       "\xc3\xa9\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf", true},
      {Units({0xD83D, 0xDE00}), "\xf0\x9f\x98\x80", true},
      {Units({0xDBFF, 0xDFFF}), "\xf4\x8f\xbf\xbf", true},
      {Units({0xD800, 0xDC00}), "\xf0\x90\x80\x80", true},
      {Units({0xD800}), "\xef\xbf\xbd", false},
      {Units({0xD800, 'A'}), "\xef\xbf\xbd" "A", false},
      {Units({0xDC00, 0xD800}), "\xef\xbf\xbd\xef\xbf\xbd", false},
      {Units({0xD800, 0xD83D, 0xDE00}), "\xef\xbf\xbd\xf0\x9f\x98\x80", false},
      {Units({'a', 0xDFFF, 'b'}), "a\xef\xbf\xbd" "b", false},
      {Units({0, 0x7F, 0x80}), std::string("\0\x7f\xc2\x80", 4), true},
  };
  for (const Case& c : cases) {
    std::string out = "<";
    EXPECT_EQ(c.ok, ConvertUTF16ToUTF8(c.units.data(), c.units.size(), &out));
    EXPECT_EQ("<" + c.expected, out);
    EXPECT_EQ(c.expected, UTF16ToUTF8(c.units));
  }

  // A high surrogate at the end of the count is unpaired even when the
  // buffer goes on with a low one.
  const string16 pair = Units({0xD83D, 0xDE00});
  std::string out;
  EXPECT_FALSE(ConvertUTF16ToUTF8(pair.data(), 1, &out));
  EXPECT_EQ("\xef\xbf\xbd", out);
  EXPECT_EQ("\xef\xbf\xbd", UTF16ToUTF8(StringPiece16(pair.data(), 1)));
}

TEST(UTFStringConversionsTest, RoundTripsEveryCodePoint) {
  std::string utf8;
  string16 utf16;
  for (uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp == 0xD800)
      cp = 0xE000;
    WriteUnicodeCharacter(cp, &utf8);
    WriteUnicodeCharacter16(cp, &utf16);
  }
  EXPECT_EQ(utf16, UTF8ToUTF16(utf8));
  EXPECT_EQ(utf8, UTF16ToUTF8(utf16));
}

TEST(UTFStringConversionsTest, WriteUnicodeCharacter) {
  struct Case {
    uint32_t code_point;
    std::string bytes;
  } cases[] = {
      {0x00, std::string(1, '\0')},   {0x7F, "\x7f"},
      {0x80, "\xc2\x80"},             {0x7FF, "\xdf\xbf"},
      {0x800, "\xe0\xa0\x80"},        {0xFFFF, "\xef\xbf\xbf"},
      {0x10000, "\xf0\x90\x80\x80"},  {0x10FFFF, "\xf4\x8f\xbf\xbf"},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    EXPECT_EQ(c.bytes.size(), WriteUnicodeCharacter(c.code_point, &out));
    EXPECT_EQ("x" + c.bytes, out);
  }

  string16 out = u"x";
  EXPECT_EQ(2u, WriteUnicodeCharacter16(0x10FFFF, &out));
  EXPECT_EQ(Units({'x', 0xDBFF, 0xDFFF}), out);
  EXPECT_EQ(2u, WriteUnicodeCharacter16(0x10000, &out));
  EXPECT_EQ(1u, WriteUnicodeCharacter16(0xFFFF, &out));
  EXPECT_EQ(Units({'x', 0xDBFF, 0xDFFF, 0xD800, 0xDC00, 0xFFFF}), out);
}

TEST(UTFStringConversionsTest, ASCIIHelpers) {
  EXPECT_EQ(u"", ASCIIToUTF16(""));
  EXPECT_EQ(u"abc", ASCIIToUTF16("abc"));
  // Zero-extended, never sign-extended; cut to the low byte.
  EXPECT_EQ(Units({0x80, 0xFF}), ASCIIToUTF16("\x80\xff"));
  EXPECT_EQ("", UTF16ToASCII(u""));
  EXPECT_EQ("abc", UTF16ToASCII(u"abc"));
  EXPECT_EQ("\x41\xe9", UTF16ToASCII(Units({0x0141, 0x00E9})));
  EXPECT_EQ(std::string("a\0b", 3), UTF16ToASCII(string16(u"a\0b", 3)));
  EXPECT_EQ(string16(u"a\0b", 3), UTF8ToUTF16(StringPiece("a\0b", 3)));
}

}  // namespace
}  // namespace base
