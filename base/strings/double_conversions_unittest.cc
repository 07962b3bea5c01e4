#include "base/strings/double_conversions.h"

#include <errno.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

uint64_t Bits(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof(bits));
  return bits;
}

double FromBits(uint64_t bits) {
  double value;
  memcpy(&value, &bits, sizeof(value));
  return value;
}

std::string Format(double value) {
  char buffer[kGFmtBufferSize];
  return g_fmt(buffer, value);
}

struct ParseResult {
  double value;
  ptrdiff_t used;
  int error;
};

// Also reads |text| through the bounded entries, from a copy without a NUL
// so that a read past the end shows under the sanitizers; they must agree.
ParseResult Parse(const char* text) {
  errno = 0;
  char* end = nullptr;
  ParseResult result;
  result.value = dmg_strtod(text, &end);
  result.error = errno;
  result.used = end - text;

  std::vector<char> copy(text, text + strlen(text));
  const char* begin = copy.data();
  const char* used_end = nullptr;
  bool range_error = false;
  const double bounded = internal::ParseDouble(begin, begin + copy.size(),
                                               &used_end, &range_error);
  EXPECT_EQ(Bits(result.value), Bits(bounded)) << text;
  EXPECT_EQ(result.used, used_end - begin) << text;
  EXPECT_EQ(result.error == ERANGE, range_error) << text;
  double plain = 0;
  if (internal::ParsePlainDouble(begin, begin + copy.size(), &plain, &used_end)) {
    EXPECT_EQ(Bits(result.value), Bits(plain)) << text;
    EXPECT_EQ(result.used, used_end - begin) << text;
  }
  return result;
}

TEST(GFmtTest, ChoosesPlainOrExponentialForm) {
  const struct {
    double value;
    const char* text;
  } kCases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {0.5, ".5"},
      {-0.5, "-.5"},
      {0.0001, ".0001"},
      {0.00001, "1e-05"},
      {0.000123, ".000123"},
      {100000.0, "100000"},
      {1000000.0, "1e+06"},
      {1500000.0, "1500000"},
      {123.456, "123.456"},
      {1234567.0, "1234567"},
      {1e21, "1e+21"},
      {1.5e-10, "1.5e-10"},
      {1e100, "1e+100"},
      {-1e-100, "-1e-100"},
      {0.1, ".1"},
      {1.0 / 3.0, ".3333333333333333"},
      {0.1 + 0.2, ".30000000000000004"},
      {-4096.125, "-4096.125"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {-std::numeric_limits<double>::max(), "-1.7976931348623157e+308"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
      {std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
      {9007199254740993.0, "9007199254740992"},
      {123456789012345680.0, "123456789012345680"},
      {1.25e+23, "1.25e+23"},
      {std::numeric_limits<double>::infinity(), "Infinity"},
      {-std::numeric_limits<double>::infinity(), "-Infinity"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {FromBits(0xFFF8000000000000ULL), "-NaN"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.text, Format(c.value)) << c.text;
}

TEST(GFmtTest, LongestOutputFitsTheBuffer) {
  // 17 digits, a negative sign and a three-digit exponent.
  double value = -1.2345678901234567e-300;
  char buffer[kGFmtBufferSize + 8];
  memset(buffer, 'x', sizeof(buffer));
  g_fmt(buffer, value);
  EXPECT_EQ(kGFmtBufferSize - 1, strlen(buffer));
  EXPECT_EQ('x', buffer[kGFmtBufferSize]);
}

TEST(DtoaTest, DigitsSignAndDecimalPoint) {
  char digits[kDtoaBufferSize];
  int decpt = 0;
  int sign = 0;
  char* end = nullptr;

  EXPECT_STREQ("0", dtoa(0.0, &decpt, &sign, &end, digits));
  EXPECT_EQ(1, decpt);
  EXPECT_EQ(0, sign);
  EXPECT_EQ(digits + 1, end);

  EXPECT_STREQ("125", dtoa(-12.5, &decpt, &sign, &end, digits));
  EXPECT_EQ(2, decpt);
  EXPECT_EQ(1, sign);
  EXPECT_EQ(digits + 3, end);

  EXPECT_STREQ("1", dtoa(1e-5, &decpt, &sign, &end, digits));
  EXPECT_EQ(-4, decpt);

  EXPECT_STREQ("Infinity", dtoa(-HUGE_VAL, &decpt, &sign, &end, digits));
  EXPECT_EQ(9999, decpt);
  EXPECT_EQ(1, sign);

  EXPECT_STREQ("NaN", dtoa(FromBits(0xFFF8000000000001ULL), &decpt, &sign,
                           nullptr, digits));
  EXPECT_EQ(9999, decpt);
  EXPECT_EQ(1, sign);
}

TEST(DmgStrtodTest, NumbersAndWhereParsingStops) {
  const struct {
    const char* text;
    double value;
    ptrdiff_t used;
  } kCases[] = {
      {"0.1", 0.1, 3},
      {"1.5", 1.5, 3},
      {"  -12.5e1xyz", -125.0, 9},
      {"\t\n\v\f\r+7", 7.0, 7},
      {"1.", 1.0, 2},
      {".5", 0.5, 2},
      {"-.5e1", -5.0, 5},
      {"1e", 1.0, 1},
      {"1e+", 1.0, 1},
      {"1E-2", 0.01, 4},
      {"000123", 123.0, 6},
      {"0x10", 0.0, 1},
      {"1,5", 1.0, 1},
      {"12 34", 12.0, 2},
      {"1e0000000000000000000000001", 10.0, 27},
      {"0e99999999999999999999", 0.0, 22},
  };
  for (const auto& c : kCases) {
    ParseResult r = Parse(c.text);
    EXPECT_EQ(c.value, r.value) << c.text;
    EXPECT_EQ(c.used, r.used) << c.text;
    EXPECT_EQ(0, r.error) << c.text;
  }
}

TEST(DmgStrtodTest, NothingToParse) {
  const char* kCases[] = {"", ".", "-", "+", "-.", " ", "e5", ".e5", "+-1",
                          "--1", "x", "\xA0" "1", "in", "na"};
  for (const char* text : kCases) {
    ParseResult r = Parse(text);
    EXPECT_EQ(0u, Bits(r.value)) << text;
    EXPECT_EQ(0, r.used) << text;
    EXPECT_EQ(0, r.error) << text;
  }
  EXPECT_EQ(0.0, dmg_strtod("", nullptr));
}

TEST(DmgStrtodTest, SignedZero) {
  EXPECT_EQ(0x8000000000000000ULL, Bits(Parse("-0").value));
  EXPECT_EQ(0x8000000000000000ULL, Bits(Parse("-0.000e-5").value));
  EXPECT_EQ(0u, Bits(Parse("+0").value));
  EXPECT_EQ(0, Parse("-0e-999").error);
}

TEST(DmgStrtodTest, InfinityAndNaN) {
  ParseResult r = Parse("INF");
  EXPECT_TRUE(isinf(r.value) && r.value > 0);
  EXPECT_EQ(3, r.used);
  EXPECT_EQ(0, r.error);

  r = Parse("-InFiNiTy!");
  EXPECT_TRUE(isinf(r.value) && r.value < 0);
  EXPECT_EQ(9, r.used);

  EXPECT_EQ(4, Parse("+infinit").used);  // Stops after "inf".

  r = Parse("-nan");
  EXPECT_TRUE(isnan(r.value));
  EXPECT_TRUE(signbit(r.value));
  EXPECT_EQ(4, r.used);

  r = Parse("NaN(1F)x");
  EXPECT_TRUE(isnan(r.value));
  EXPECT_FALSE(signbit(r.value));
  EXPECT_EQ(7, r.used);
  EXPECT_EQ(0x1Fu, Bits(r.value) & 0xFF);

  // A payload that is not closed or not hexadecimal is left unread.
  EXPECT_EQ(3, Parse("nan(12").used);
  EXPECT_EQ(3, Parse("nan(xyz)").used);
  EXPECT_EQ(3, Parse("nan()").used);
  EXPECT_TRUE(isnan(Parse("nan(12").value));
}

TEST(DmgStrtodTest, RangeErrors) {
  ParseResult r = Parse("1e400");
  EXPECT_TRUE(isinf(r.value) && r.value > 0);
  EXPECT_EQ(ERANGE, r.error);
  EXPECT_EQ(5, r.used);

  r = Parse("-1e400");
  EXPECT_TRUE(isinf(r.value) && r.value < 0);
  EXPECT_EQ(ERANGE, r.error);

  r = Parse("1e-400");
  EXPECT_EQ(0u, Bits(r.value));
  EXPECT_EQ(ERANGE, r.error);
  EXPECT_EQ(6, r.used);

  r = Parse("-1e-400");
  EXPECT_EQ(0x8000000000000000ULL, Bits(r.value));
  EXPECT_EQ(ERANGE, r.error);

  // Just below half of the smallest denormal underflows; just above rounds up.
  EXPECT_EQ(ERANGE, Parse("2.4703282292062327e-324").error);
  r = Parse("2.4703282292062328e-324");
  EXPECT_EQ(1u, Bits(r.value));
  EXPECT_EQ(0, r.error);

  // The largest double, and the first text that rounds past it.
  r = Parse("1.7976931348623158e308");
  EXPECT_EQ(std::numeric_limits<double>::max(), r.value);
  EXPECT_EQ(0, r.error);
  EXPECT_EQ(ERANGE, Parse("1.7976931348623159e308").error);

  EXPECT_EQ(ERANGE, Parse("0.000001e99999999999999999999").error);
  EXPECT_EQ(ERANGE, Parse("123456e-99999999999999999999").error);

  // Success leaves errno alone.
  errno = EINVAL;
  dmg_strtod("2.5", nullptr);
  EXPECT_EQ(EINVAL, errno);
}

TEST(DmgStrtodTest, RoundsHalfwayCasesToEven) {
  EXPECT_EQ(9007199254740992.0, Parse("9007199254740993").value);
  EXPECT_EQ(9007199254740996.0, Parse("9007199254740995").value);
  // A digit far beyond the first nineteen still breaks the tie.
  std::string above = "9007199254740993" + std::string(400, '0') + "1e-401";
  EXPECT_EQ(9007199254740994.0, Parse(above.c_str()).value);
  EXPECT_EQ(static_cast<ptrdiff_t>(above.size()),
            Parse(above.c_str()).used);
  std::string long_one = "0." + std::string(1000, '0') + "1e1001";
  EXPECT_EQ(1.0, Parse(long_one.c_str()).value);
}

// Every finite double must print in a form that reads back as the same bits,
// and one significant digit fewer must not be enough.
TEST(DoubleRoundTripTest, RandomBitPatterns) {
  std::mt19937_64 random(20261207);
  for (int i = 0; i < 300000; ++i) {
    uint64_t bits = random();
    if (i % 2)  // a whole number or a short decimal, as JSON files hold them
      bits = Bits(static_cast<double>(bits >> (12 + i % 52)) / std::pow(10.0, i % 5));
    const double value = FromBits(bits);
    if (isnan(value) || value == 0)
      continue;
    char text[kGFmtBufferSize];
    g_fmt(text, value);
    char* end = nullptr;
    errno = 0;
    const double back = dmg_strtod(text, &end);
    ASSERT_EQ(bits, Bits(back)) << text;
    ASSERT_EQ('\0', *end) << text;
    ASSERT_EQ(0, errno) << text;

    char digits[kDtoaBufferSize];
    int decpt, sign;
    char* digits_end;
    dtoa(value, &decpt, &sign, &digits_end, digits);
    const int count = static_cast<int>(digits_end - digits);
    ASSERT_GE(17, count);
    ASSERT_NE('0', digits[count - 1]) << text;
    if (count > 1 && !isinf(value)) {
      char shorter[64];
      snprintf(shorter, sizeof(shorter), "%.*e", count - 2, value);
      ASSERT_NE(bits, Bits(dmg_strtod(shorter, nullptr))) << text;
    }
  }
}

TEST(DoubleRoundTripTest, Boundaries) {
  const uint64_t kBits[] = {
      0x0000000000000001ULL,  // Smallest denormal.
      0x000FFFFFFFFFFFFFULL,  // Largest denormal.
      0x0010000000000000ULL,  // Smallest normal.
      0x7FEFFFFFFFFFFFFFULL,  // Largest finite.
      0x3FF0000000000000ULL,  // 1
      0x3FEFFFFFFFFFFFFFULL,  // Just below 1.
      0x3FF0000000000001ULL,  // Just above 1.
      0x4340000000000000ULL,  // 2^53
      0x4340000000000001ULL,
      0x44B52D02C7E14AF6ULL,  // 1e23, a classic hard case.
      0x3E112E0BE826D695ULL,  // 1e-9
  };
  for (uint64_t bits : kBits) {
    for (uint64_t sign : {0ULL, 0x8000000000000000ULL}) {
      char text[kGFmtBufferSize];
      g_fmt(text, FromBits(bits | sign));
      EXPECT_EQ(bits | sign, Bits(dmg_strtod(text, nullptr))) << text;
    }
  }
  // Powers of ten around the form switches.
  for (int exponent = -330; exponent <= 310; ++exponent) {
    char source[16];
    snprintf(source, sizeof(source), "1e%d", exponent);
    const double value = dmg_strtod(source, nullptr);
    char text[kGFmtBufferSize];
    g_fmt(text, value);
    EXPECT_EQ(Bits(value), Bits(dmg_strtod(text, nullptr))) << text;
  }
}

}  // namespace
}  // namespace base
