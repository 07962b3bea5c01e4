#include "base/strings/double_conversions.h"

#include <errno.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "base/strings/ascii_chars.h"

// The correctly rounded arithmetic in both directions is the standard
// library's (std::from_chars, and std::to_chars in its shortest mode). This
// file only fixes the text grammar around it, so the result never depends
// on the C runtime's locale or on its own strtod, which is not exact on
// every runtime we ship on.

namespace base {

namespace {

constexpr uint64_t kSignBit = 0x8000000000000000ULL;
constexpr uint64_t kExponentMask = 0x7FF0000000000000ULL;
constexpr uint64_t kFractionMask = 0x000FFFFFFFFFFFFFULL;
constexpr uint64_t kQuietNaN = 0x7FF8000000000000ULL;
// Payload bits of a quiet NaN: the fraction below the quiet bit.
constexpr uint64_t kNaNPayloadMask = 0x0007FFFFFFFFFFFFULL;
constexpr uint64_t kInfinity = 0x7FF0000000000000ULL;

// Exponents are saturated here while reading; anything this far out is
// already far beyond the range of a double either way.
constexpr int64_t kExponentLimit = 1000000000;

double FromBits(uint64_t bits) {
  double value;
  memcpy(&value, &bits, sizeof(value));
  return value;
}

uint64_t ToBits(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof(bits));
  return bits;
}

// Whole numbers and decimals of up to this many places, the bulk of what
// JSON files hold, get their digits without the general algorithm.
constexpr int kMaxShortPlaces = 3;
constexpr double kShortScale = 1000;
// Below this, a scaled value is a whole number within 2^-12 whenever a
// decimal of its places reads back as the value, and no other decimal of
// as many digits does.
constexpr double kMaxShortScaled = 1099511627776.0;  // 2^40
// Every whole number below this is a double: its own digits are the
// shortest that read back as it.
constexpr double kMaxExactWhole = 9007199254740992.0;  // 2^53

// dtoa() of |magnitude| (not negative, finite) when it is a whole number
// below kMaxExactWhole or a decimal of at most kMaxShortPlaces places
// below kMaxShortScaled: the fewest places whose decimal reads back as
// |magnitude| give its shortest digits, and only one decimal of as many
// digits does. False, having written nothing, otherwise.
bool ShortDecimalDigits(double magnitude,
                        int* decpt,
                        char** end,
                        char (&digits)[kDtoaBufferSize]) {
  uint64_t number = 0;
  int places = 0;
  if (!(magnitude < kMaxExactWhole) ||
      static_cast<double>(number = static_cast<uint64_t>(magnitude)) != magnitude) {
    // Cheap test first: most other doubles are far from a short decimal.
    // The zeros a shorter decimal ends in here change neither its value
    // nor the digits kept.
    const double scaled = magnitude * kShortScale;
    if (!(scaled < kMaxShortScaled))
      return false;
    number = static_cast<uint64_t>(scaled + 0.5);
    if (std::fabs(scaled - static_cast<double>(number)) > 1.0 / 4096)
      return false;
    places = kMaxShortPlaces;
    double back = 0;
    if (!internal::ExactDecimalToDouble(number, -places, &back) ||
        back != magnitude) {
      return false;
    }
  }
  int count = static_cast<int>(
      std::to_chars(digits, digits + kDtoaBufferSize - 1, number).ptr - digits);
  *decpt = count - places;
  while (count > 1 && digits[count - 1] == '0')
    --count;
  digits[count] = '\0';
  *end = digits + count;
  return true;
}

using internal::HexDigitValue;
using internal::IsAsciiDigit;
using internal::IsAsciiWhitespace;

// True when [text, end) begins with the lower-case |word| in any case.
bool StartsWithNoCase(const char* text, const char* end, const char* word) {
  for (; *word; ++text, ++word) {
    if (text == end)
      return false;
    char c = *text;
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    if (c != *word)
      return false;
  }
  return true;
}

// Reads "inf", "infinity", "nan" or "nan(hex)" at |s|. Returns the end of
// what was used, or null when |s| holds none of them.
const char* ParseSpecial(const char* s,
                         const char* end,
                         bool negative,
                         double* value) {
  const uint64_t sign = negative ? kSignBit : 0;
  if (StartsWithNoCase(s, end, "inf")) {
    *value = FromBits(sign | kInfinity);
    return StartsWithNoCase(s, end, "infinity") ? s + 8 : s + 3;
  }
  if (!StartsWithNoCase(s, end, "nan"))
    return nullptr;
  s += 3;
  uint64_t payload = 0;
  if (s != end && *s == '(' && end - s > 1 && HexDigitValue(s[1]) >= 0) {
    const char* p = s + 1;
    for (; p != end && HexDigitValue(*p) >= 0; ++p)
      payload = (payload << 4) | static_cast<uint64_t>(HexDigitValue(*p));
    if (p != end && *p == ')')
      s = p + 1;
    else
      payload = 0;  // Unclosed: only "nan" was read.
  }
  *value = FromBits(sign | kQuietNaN | (payload & kNaNPayloadMask));
  return s;
}

// The extent of a decimal number (without its sign) and where its first
// significant digit stands: the value is below 10^|magnitude| and at least
// 10^(|magnitude| - 1), unless it has no significant digit at all.
struct DecimalSpan {
  const char* end = nullptr;
  bool has_digits = false;
  bool is_zero = true;
  int64_t magnitude = 0;
};

DecimalSpan ScanDecimal(const char* s, const char* end) {
  DecimalSpan span;
  int64_t integer_digits = 0;  // Counted from the first non-zero digit.
  int64_t fraction_zeros = 0;  // Zeros after the point before any non-zero.
  for (; s != end && IsAsciiDigit(*s); ++s) {
    span.has_digits = true;
    if (*s != '0')
      span.is_zero = false;
    if (!span.is_zero)
      ++integer_digits;
  }
  if (s != end && *s == '.') {
    const char* p = s + 1;
    bool fraction_digits = false;
    for (; p != end && IsAsciiDigit(*p); ++p) {
      fraction_digits = true;
      if (span.is_zero && *p == '0')
        ++fraction_zeros;
      else
        span.is_zero = false;
    }
    // A lone "." is not a number; "1." is.
    if (span.has_digits || fraction_digits) {
      span.has_digits = true;
      s = p;
    }
  }
  if (!span.has_digits)
    return span;
  int64_t exponent = 0;
  if (s != end && (*s == 'e' || *s == 'E')) {
    const char* p = s + 1;
    bool exponent_negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
      exponent_negative = *p == '-';
      ++p;
    }
    if (p != end && IsAsciiDigit(*p)) {
      for (; p != end && IsAsciiDigit(*p); ++p) {
        if (exponent < kExponentLimit)
          exponent = exponent * 10 + (*p - '0');
      }
      if (exponent_negative)
        exponent = -exponent;
      s = p;
    } else {
      exponent = 0;  // "1e" and "1e+" end before the 'e'.
    }
  }
  span.end = s;
  span.magnitude =
      (integer_digits > 0 ? integer_digits : -fraction_zeros) + exponent;
  return span;
}

// The decimal number at |s| (no sign), whose text the standard library
// reads in the same grammar. The scan above runs only when the result is
// zero or out of range, to tell an underflow from a zero and an overflow
// from an underflow. Returns the end of what was used, |s| when nothing.
const char* ParseUnsignedDecimal(const char* s,
                                 const char* end,
                                 double* value,
                                 bool* range_error) {
  double magnitude = 0.0;
  const std::from_chars_result result =
      std::from_chars(s, end, magnitude, std::chars_format::general);
  if (result.ec == std::errc() && magnitude != 0.0 &&
      (ToBits(magnitude) & kExponentMask) != kExponentMask) {
    *value = magnitude;
    return result.ptr;
  }
  const DecimalSpan span = ScanDecimal(s, end);
  if (!span.has_digits)
    return s;
  bool out_of_range = result.ec == std::errc::result_out_of_range;
  if (out_of_range)
    magnitude = span.magnitude > 0 ? FromBits(kInfinity) : 0.0;
  else if (result.ec != std::errc())
    magnitude = 0.0;  // Cannot happen for text the scan accepted.
  if ((ToBits(magnitude) & ~kSignBit) == kInfinity ||
      (magnitude == 0.0 && !span.is_zero)) {
    out_of_range = true;
  }
  *range_error = out_of_range;
  *value = magnitude;
  return span.end;
}

}  // namespace

namespace internal {

double ParseDouble(const char* text,
                   const char* end,
                   const char** used_end,
                   bool* range_error) {
  *range_error = false;
  const char* s = text;
  while (s != end && IsAsciiWhitespace(*s))
    ++s;
  bool negative = false;
  if (s != end && (*s == '+' || *s == '-')) {
    negative = *s == '-';
    ++s;
  }

  double value = 0.0;
  *used_end = text;
  // Only a digit or a point may start the decimal form: the standard
  // library's reader would also take a second sign, "inf" and "nan".
  if (s != end && (IsAsciiDigit(*s) || *s == '.')) {
    const char* decimal_end = ParseUnsignedDecimal(s, end, &value, range_error);
    if (decimal_end != s) {
      *used_end = decimal_end;
      return negative ? -value : value;
    }
  }
  const char* special_end = ParseSpecial(s, end, negative, &value);
  if (!special_end)
    return 0.0;
  *used_end = special_end;
  return value;
}

}  // namespace internal

double dmg_strtod(const char* text, char** end) {
  const char* used_end = text;
  bool range_error = false;
  const double value =
      internal::ParseDouble(text, text + strlen(text), &used_end, &range_error);
  if (range_error)
    errno = ERANGE;
  if (end)
    *end = const_cast<char*>(used_end);
  return value;
}

char* dtoa(double value,
           int* decpt,
           int* sign,
           char** rve,
           char (&digits)[kDtoaBufferSize]) {
  const uint64_t bits = ToBits(value);
  *sign = (bits & kSignBit) ? 1 : 0;
  char* out = digits;
  if ((bits & kExponentMask) == kExponentMask) {
    const char* text = (bits & kFractionMask) ? "NaN" : "Infinity";
    size_t length = strlen(text);
    memcpy(out, text, length + 1);
    *decpt = 9999;
    if (rve)
      *rve = out + length;
    return out;
  }

  char* short_end = nullptr;
  if (ShortDecimalDigits(FromBits(bits & ~kSignBit), decpt, &short_end, digits)) {
    if (rve)
      *rve = short_end;
    return out;
  }

  // The shortest scientific form, "d.ddde+XX" or "de+XX" (two or three
  // exponent digits), carries exactly the digits and exponent asked for.
  // At most 17 digits: the point and the fraction digits are copied as one
  // block of 16.
  char scientific[32];
  const std::to_chars_result result =
      std::to_chars(scientific, scientific + sizeof(scientific),
                    FromBits(bits & ~kSignBit), std::chars_format::scientific);
  const char* const e = result.ptr[-4] == 'e' ? result.ptr - 4 : result.ptr - 5;
  static_assert(kDtoaBufferSize >= 1 + 16 + 1,
                "a block of 16 after the first digit");
  out[0] = scientific[0];
  size_t count = 1;
  if (scientific[1] == '.') {
    memcpy(out + 1, scientific + 2, 16);
    // Never past the buffer, whatever the text held.
    count = std::min(static_cast<size_t>(e - scientific) - 1,
                     kDtoaBufferSize - 1);
  }
  while (count > 1 && out[count - 1] == '0')
    --count;
  out[count] = '\0';

  int exponent = 0;
  for (const char* p = e + 2; p != result.ptr; ++p)
    exponent = exponent * 10 + (*p - '0');
  *decpt = (e[1] == '-' ? -exponent : exponent) + 1;
  if (rve)
    *rve = out + count;
  return out;
}

char* g_fmt(char* buffer, double value) {
  internal::FormatDouble(value, false, buffer);
  return buffer;
}

namespace internal {

char* FormatDouble(double value, bool json_form, char* buffer) {
  char digits[kDtoaBufferSize];
  int decpt = 0;
  int sign = 0;
  char* digits_end = nullptr;
  dtoa(value, &decpt, &sign, &digits_end, digits);
  const int count = static_cast<int>(digits_end - digits);

  char* out = buffer;
  if (sign)
    *out++ = '-';
  if (decpt == 9999) {
    memcpy(out, digits, static_cast<size_t>(count));
    out += count;
    if (json_form) {
      *out++ = '.';
      *out++ = '0';
    }
    *out = '\0';
    return out;
  }

  if (decpt <= -4 || decpt > count + 5) {
    *out++ = digits[0];
    if (count > 1) {
      *out++ = '.';
      memcpy(out, digits + 1, static_cast<size_t>(count) - 1);
      out += count - 1;
    }
    *out++ = 'e';
    int exponent = decpt - 1;
    if (exponent < 0) {
      *out++ = '-';
      exponent = -exponent;
    } else {
      *out++ = '+';
    }
    if (exponent >= 100)
      *out++ = static_cast<char>('0' + exponent / 100);
    *out++ = static_cast<char>('0' + exponent / 10 % 10);
    *out++ = static_cast<char>('0' + exponent % 10);
  } else if (decpt <= 0) {
    // Short copies: plain loops beat a call into the C library.
    if (json_form)
      *out++ = '0';
    *out++ = '.';
    for (int i = decpt; i < 0; ++i)
      *out++ = '0';
    for (int i = 0; i < count; ++i)
      *out++ = digits[i];
  } else {
    const int whole = decpt < count ? decpt : count;
    for (int i = 0; i < whole; ++i)
      *out++ = digits[i];
    if (decpt < count) {
      *out++ = '.';
      for (int i = decpt; i < count; ++i)
        *out++ = digits[i];
    }
    for (int i = count; i < decpt; ++i)
      *out++ = '0';
    if (json_form && decpt >= count) {
      *out++ = '.';
      *out++ = '0';
    }
  }
  *out = '\0';
  return out;
}

}  // namespace internal

}  // namespace base
