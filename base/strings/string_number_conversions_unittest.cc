#include "base/strings/string_number_conversions.h"

#include <errno.h>
#include <math.h>

#include <limits>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(NumberToStringTest, ExtremesAndZero) {
  EXPECT_EQ("0", IntToString(0));
  EXPECT_EQ("-2147483648", IntToString(std::numeric_limits<int>::min()));
  EXPECT_EQ("2147483647", IntToString(std::numeric_limits<int>::max()));
  EXPECT_EQ(u"-7", IntToString16(-7));
  EXPECT_EQ(u"0", IntToString16(0));
  EXPECT_EQ("4294967295", UintToString(4294967295u));
  EXPECT_EQ(u"10", UintToString16(10u));
  EXPECT_EQ("-9223372036854775808",
            Int64ToString(std::numeric_limits<int64_t>::min()));
  EXPECT_EQ(u"9223372036854775807",
            Int64ToString16(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ("18446744073709551615",
            Uint64ToString(std::numeric_limits<uint64_t>::max()));
  EXPECT_EQ(u"18446744073709551615",
            Uint64ToString16(std::numeric_limits<uint64_t>::max()));
  EXPECT_EQ("-1", Int64ToStringImpl(-1));
  EXPECT_EQ("100", IntToStringImpl(100));
}

struct IntCase {
  const char* input;
  int value;
  bool ok;
};

TEST(StringToIntTest, Rules) {
  const IntCase kCases[] = {
      {"123", 123, true},
      {"-0", 0, true},
      {"+5", 5, true},
      {"007", 7, true},
      {" 123", 123, false},
      {"\t\n\v\f\r1", 1, false},
      {"123 ", 123, false},
      {"12a", 12, false},
      {"a12", 0, false},
      {"+-5", 0, false},
      {"-+5", 0, false},
      {"--5", 0, false},
      {"-", 0, false},
      {"+", 0, false},
      {" ", 0, false},
      {"", 0, false},
      {"2147483647", 2147483647, true},
      {"2147483648", 2147483647, false},
      {"-2147483648", std::numeric_limits<int>::min(), true},
      {"-2147483649", std::numeric_limits<int>::min(), false},
      {"99999999999", 2147483647, false},
      {"-99999999999", std::numeric_limits<int>::min(), false},
      {"\xA0" "1", 0, false},
  };
  for (const IntCase& c : kCases) {
    int value = -12345;
    EXPECT_EQ(c.ok, StringToInt(c.input, &value)) << c.input;
    EXPECT_EQ(c.value, value) << c.input;
  }
}

TEST(StringToIntTest, EmbeddedNulAndRanges) {
  int value = -1;
  EXPECT_FALSE(StringToInt(StringPiece("12\0" "3", 4), &value));
  EXPECT_EQ(12, value);
  const char text[] = "4567";
  EXPECT_TRUE(StringToIntImpl(text + 1, text + 3, &value));
  EXPECT_EQ(56, value);
  EXPECT_FALSE(StringToIntImpl(text, text, &value));
  EXPECT_EQ(0, value);
}

TEST(StringToUnsignedTest, Rules) {
  unsigned value = 1;
  const char max32[] = "4294967295";
  EXPECT_TRUE(StringToUintImpl(max32, max32 + 10, &value));
  EXPECT_EQ(4294967295u, value);
  const char over32[] = "4294967296";
  EXPECT_FALSE(StringToUintImpl(over32, over32 + 10, &value));
  EXPECT_EQ(4294967295u, value);
  const char minus[] = "-0";
  value = 7;
  EXPECT_FALSE(StringToUintImpl(minus, minus + 2, &value));
  EXPECT_EQ(0u, value);

  uint64_t value64 = 1;
  EXPECT_FALSE(StringToUint64("-1", &value64));
  EXPECT_EQ(0u, value64);
  EXPECT_TRUE(StringToUint64("18446744073709551615", &value64));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), value64);
  value64 = 0;
  EXPECT_FALSE(StringToUint64("18446744073709551616", &value64));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), value64);
  EXPECT_FALSE(StringToUint64(" 5", &value64));
  EXPECT_EQ(5u, value64);
}

TEST(StringToWideTest, Rules) {
  unsigned value = 9;
  EXPECT_TRUE(StringToUint16(u"4294967295", &value));
  EXPECT_EQ(4294967295u, value);
  EXPECT_FALSE(StringToUint16(u"\xFF11", &value));  // Full-width digit one.
  EXPECT_EQ(0u, value);
  // A unit whose low byte is a digit is still not a digit.
  EXPECT_FALSE(StringToUint16(u"1\x0132", &value));
  EXPECT_EQ(1u, value);
  // Only the six ASCII whitespace characters are skipped.
  EXPECT_FALSE(StringToUint16(u"\x3000" u"1", &value));
  EXPECT_EQ(0u, value);
  EXPECT_FALSE(StringToUint16(u" 1", &value));
  EXPECT_EQ(1u, value);

  int64_t value64 = 0;
  EXPECT_TRUE(StringToInt64_16(u"-9223372036854775808", &value64));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), value64);
  EXPECT_FALSE(StringToInt64_16(u"9223372036854775808", &value64));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), value64);
  EXPECT_FALSE(StringToInt64_16(u"-9223372036854775809", &value64));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), value64);
  EXPECT_TRUE(StringToInt64_16(u"+42", &value64));
  EXPECT_EQ(42, value64);
}

TEST(HexStringToUInt64Test, Rules) {
  const struct {
    const char* input;
    uint64_t value;
    bool ok;
  } kCases[] = {
      {"0x1F", 31, true},
      {"0X1f", 31, true},
      {"1f", 31, true},
      {"+0x10", 16, true},
      {"0", 0, true},
      {"0x", 0, false},
      {"0X", 0, false},
      {"x1", 0, false},
      {"", 0, false},
      {" 1", 1, false},
      {"-1", 0, false},
      {"1g", 1, false},
      {"FFFFFFFFFFFFFFFF", 0xFFFFFFFFFFFFFFFFULL, true},
      {"0x0FFFFFFFFFFFFFFFF", 0xFFFFFFFFFFFFFFFFULL, true},
      {"10000000000000000", 0xFFFFFFFFFFFFFFFFULL, false},
  };
  for (const auto& c : kCases) {
    uint64_t value = 12345;
    EXPECT_EQ(c.ok, HexStringToUInt64(c.input, &value)) << c.input;
    EXPECT_EQ(c.value, value) << c.input;
  }
}

TEST(HexBytesTest, DecodeAndEncode) {
  std::vector<uint8_t> bytes = {0x11};
  EXPECT_TRUE(HexStringToBytes("0aFF", &bytes));
  EXPECT_EQ((std::vector<uint8_t>{0x11, 0x0A, 0xFF}), bytes);

  bytes.clear();
  EXPECT_FALSE(HexStringToBytes("abc", &bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(HexStringToBytes("", &bytes));
  EXPECT_FALSE(HexStringToBytes("01zz", &bytes));
  EXPECT_EQ(std::vector<uint8_t>{0x01}, bytes);
  bytes.clear();
  EXPECT_FALSE(HexStringToBytesPiece("z1", &bytes));
  EXPECT_TRUE(bytes.empty());

  const uint8_t kData[] = {0x00, 0xAB, 0x7F, 0xFF};
  EXPECT_EQ("00AB", HexEncode(kData, 2));
  EXPECT_EQ("", HexEncode(kData, 0));
  std::string encoded = HexEncode(kData, sizeof(kData));
  EXPECT_EQ("00AB7FFF", encoded);
  bytes.clear();
  EXPECT_TRUE(HexStringToBytes(encoded, &bytes));
  EXPECT_EQ(std::vector<uint8_t>(kData, kData + sizeof(kData)), bytes);
}

TEST(StringToDoubleTest, WholeTextOnly) {
  double value = 0;
  EXPECT_TRUE(StringToDouble("1.5", &value));
  EXPECT_EQ(1.5, value);
  EXPECT_TRUE(StringToDouble("-1e-3", &value));
  EXPECT_EQ(-0.001, value);
  EXPECT_FALSE(StringToDouble(" 1.5", &value));
  EXPECT_EQ(1.5, value);
  EXPECT_FALSE(StringToDouble("1.5x", &value));
  EXPECT_EQ(1.5, value);
  EXPECT_FALSE(StringToDouble("1.5 ", &value));
  EXPECT_FALSE(StringToDouble(std::string("1\0" "2", 3), &value));
  EXPECT_EQ(1.0, value);
  EXPECT_FALSE(StringToDouble("", &value));
  EXPECT_EQ(0.0, value);
  EXPECT_FALSE(StringToDouble("x", &value));
  EXPECT_FALSE(StringToDouble("1,5", &value));
  EXPECT_FALSE(StringToDouble("0x10", &value));

  EXPECT_TRUE(StringToDouble("Infinity", &value));
  EXPECT_TRUE(isinf(value));
  EXPECT_TRUE(StringToDouble("-NAN", &value));
  EXPECT_TRUE(isnan(value));
}

TEST(StringToDoubleTest, ErrnoKeptOrReported) {
  double value = 0;
  errno = EDOM;
  EXPECT_TRUE(StringToDouble("2", &value));
  EXPECT_EQ(EDOM, errno);
  EXPECT_FALSE(StringToDouble("1.5x", &value));
  EXPECT_EQ(EDOM, errno);

  EXPECT_FALSE(StringToDouble("1e999", &value));
  EXPECT_TRUE(isinf(value));
  EXPECT_EQ(ERANGE, errno);
  errno = 0;
  EXPECT_FALSE(StringToDouble("1e-999", &value));
  EXPECT_EQ(0.0, value);
  EXPECT_EQ(ERANGE, errno);
  errno = 0;
}

}  // namespace
}  // namespace base
