#ifndef BASE_STRINGS_DOUBLE_CONVERSIONS_H_
#define BASE_STRINGS_DOUBLE_CONVERSIONS_H_

#include <stddef.h>
#include <stdint.h>

#include <charconv>
#include <cmath>
#include <system_error>

// Exact, locale-independent conversion between doubles and decimal text.
// Every double reads back from its text as exactly the same bits, and text
// is rounded to the nearest double (ties to even). All functions are
// stateless and may run on any thread at any time.

namespace base {

// Parses a decimal number at the start of |text| (NUL-terminated): leading
// ASCII whitespace (space, tab, LF, VT, FF, CR), one optional sign, digits
// with an optional '.' fraction and an optional exponent; or "inf",
// "infinity", "nan" and "nan(hex payload)" in any case. Hexadecimal floats
// are not accepted. When |end| is not null it receives the position after
// the last character used, or |text| itself when nothing was parsed (the
// result is then 0). On overflow the result is +-infinity and on underflow
// to zero it is +-0; both set errno to ERANGE. errno is otherwise untouched.
double dmg_strtod(const char* text, char** end);

namespace internal {

// dmg_strtod() over [text, end), which need not end with a NUL: nothing at
// or after |end| is read. |*used_end| receives what dmg_strtod() gives as
// its end, and |*range_error| is set instead of errno.
double ParseDouble(const char* text,
                   const char* end,
                   const char** used_end,
                   bool* range_error);

// The common case of ParseDouble() in one call of the standard library's
// reader, which has the same decimal grammar and rounding: an optional '-'
// and a digit or point, giving a finite value other than zero (where the
// two could differ on range errors). Returns false, having written
// nothing, for anything else; the caller then asks ParseDouble().
inline bool ParsePlainDouble(const char* text,
                             const char* end,
                             double* value,
                             const char** used_end) {
  const char* s = text;
  if (s != end && *s == '-')
    ++s;
  if (s == end || !((*s >= '0' && *s <= '9') || *s == '.'))
    return false;
  double result = 0.0;
  const std::from_chars_result parsed = std::from_chars(text, end, result);
  if (parsed.ec != std::errc() || result == 0.0 || !std::isfinite(result))
    return false;
  *value = result;
  *used_end = parsed.ptr;
  return true;
}

// The double nearest to |mantissa| x 10^|exponent|, when one IEEE
// multiplication or division gives it exactly rounded: the mantissa fits in
// 53 bits and the power of ten is exact (|exponent| <= 22). Returns false,
// having written nothing, otherwise.
inline bool ExactDecimalToDouble(uint64_t mantissa, int exponent, double* value) {
  static constexpr double kPowersOfTen[] = {
      1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (mantissa > (uint64_t{1} << 53) || exponent < -22 || exponent > 22)
    return false;
  const double digits = static_cast<double>(mantissa);
  *value = exponent < 0 ? digits / kPowersOfTen[-exponent]
                        : digits * kPowersOfTen[exponent];
  return true;
}

}  // namespace internal

// Size of the digit buffer that dtoa() fills: 17 digits or "Infinity", and
// the terminating NUL.
constexpr size_t kDtoaBufferSize = 18;

// Writes into |digits| the shortest string of significant digits that reads
// back as exactly |value|, without trailing zeros, and returns |digits|.
// |*decpt| is the position of the decimal point relative to the first digit
// (0 gives "0" with decpt 1); infinities and NaNs give "Infinity" or "NaN"
// with decpt 9999. |*sign| is 1 whenever the sign bit is set, negative zero
// and NaNs included. |*rve|, when |rve| is not null, points at the NUL.
char* dtoa(double value,
           int* decpt,
           int* sign,
           char** rve,
           char (&digits)[kDtoaBufferSize]);

// Size g_fmt() needs: "-" + 17 digits + "." + "e" + sign + 3 digits + NUL.
constexpr size_t kGFmtBufferSize = 25;

// Formats |value| in its shortest round-trip form into |buffer|: ".5",
// "-0", "100000", "1e+06", "1.5e-10", "Infinity", "NaN". Returns |buffer|.
char* g_fmt(char* buffer, double value);

namespace internal {

// g_fmt() of |value| into |buffer|; with |json_form|, also made a JSON
// number that reads back as a double: ".0" after a text with neither point
// nor exponent, and a 0 before a leading point (3.0, 0.5, -0.5, 1e+21).
// Needs kGFmtBufferSize + 2 bytes. Returns the position of the NUL written.
char* FormatDouble(double value, bool json_form, char* buffer);

}  // namespace internal

}  // namespace base

#endif  // BASE_STRINGS_DOUBLE_CONVERSIONS_H_
