#include "base/strings/string_number_conversions.h"

#include <errno.h>

#include <limits>
#include <type_traits>

#include "base/strings/ascii_chars.h"
#include "base/strings/double_conversions.h"

namespace base {

namespace {

using internal::HexDigitValue;
using internal::IsAsciiWhitespace;

// Digits go into a stack buffer least significant first and become the
// string in one step. The magnitude is taken unsigned, so the most negative
// value needs no special case.
template <typename StringT, typename IntT>
StringT IntegerToString(IntT value) {
  using UnsignedT = typename std::make_unsigned<IntT>::type;
  const bool negative = value < 0;
  UnsignedT magnitude = static_cast<UnsignedT>(value);
  if (negative)
    magnitude = static_cast<UnsignedT>(0) - magnitude;

  typename StringT::value_type buffer[24];
  typename StringT::value_type* end = buffer + sizeof(buffer) / sizeof(buffer[0]);
  typename StringT::value_type* p = end;
  do {
    *--p = static_cast<typename StringT::value_type>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative)
    *--p = '-';
  return StringT(p, end);
}

// Leading whitespace (which spoils the result but not the parse) and the
// sign. Returns false when a '-' ends an unsigned parse.
template <typename CharT, typename IntT>
bool SkipWhitespaceAndSign(const CharT** begin,
                           const CharT* end,
                           bool* valid,
                           bool* negative,
                           IntT* output) {
  const CharT* p = *begin;
  *valid = true;
  *negative = false;
  while (p != end && IsAsciiWhitespace(*p)) {
    *valid = false;
    ++p;
  }
  if (p != end && *p == '-') {
    if (!std::numeric_limits<IntT>::is_signed) {
      *output = 0;
      *begin = p;
      return false;
    }
    *negative = true;
    ++p;
  } else if (p != end && *p == '+') {
    ++p;
  }
  *begin = p;
  return true;
}

template <typename CharT, typename IntT>
bool ParseDecimal(const CharT* begin, const CharT* end, IntT* output) {
  bool valid;
  bool negative;
  if (!SkipWhitespaceAndSign(&begin, end, &valid, &negative, output))
    return false;
  *output = 0;
  if (begin == end)
    return false;

  constexpr IntT kMax = std::numeric_limits<IntT>::max();
  constexpr IntT kMin = std::numeric_limits<IntT>::min();
  IntT value = 0;
  for (const CharT* p = begin; p != end; ++p) {
    // The whole unit must be an ASCII digit: no full-width digits.
    if (*p < '0' || *p > '9')
      return false;
    const IntT digit = static_cast<IntT>(*p - '0');
    if (!negative) {
      if (value > kMax / 10 || (value == kMax / 10 && digit > kMax % 10)) {
        *output = kMax;
        return false;
      }
      value = static_cast<IntT>(value * 10 + digit);
    } else {
      // Built downwards so that the most negative value is reachable.
      if (value < kMin / 10 || (value == kMin / 10 && digit > -(kMin % 10))) {
        *output = kMin;
        return false;
      }
      value = static_cast<IntT>(value * 10 - digit);
    }
    *output = value;
  }
  return valid;
}

bool HexDigitsToUInt64(const char* begin, const char* end, uint64_t* output) {
  *output = 0;
  if (begin == end)
    return false;
  if (end - begin >= 3 && begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X'))
    begin += 2;
  uint64_t value = 0;
  for (const char* p = begin; p != end; ++p) {
    const int digit = HexDigitValue(*p);
    if (digit < 0)
      return false;
    if (value > 0x0FFFFFFFFFFFFFFFULL) {
      *output = std::numeric_limits<uint64_t>::max();
      return false;
    }
    value = value * 16 + static_cast<uint64_t>(digit);
    *output = value;
  }
  return true;
}

}  // namespace

std::string IntToStringImpl(int value) {
  return IntegerToString<std::string>(value);
}

std::string Int64ToStringImpl(int64_t value) {
  return IntegerToString<std::string>(value);
}

std::string IntToString(int value) {
  return IntToStringImpl(value);
}

string16 IntToString16(int value) {
  return IntegerToString<string16>(value);
}

std::string UintToString(unsigned value) {
  return IntegerToString<std::string>(value);
}

string16 UintToString16(unsigned value) {
  return IntegerToString<string16>(value);
}

std::string Int64ToString(int64_t value) {
  return Int64ToStringImpl(value);
}

string16 Int64ToString16(int64_t value) {
  return IntegerToString<string16>(value);
}

std::string Uint64ToString(uint64_t value) {
  return IntegerToString<std::string>(value);
}

string16 Uint64ToString16(uint64_t value) {
  return IntegerToString<string16>(value);
}

bool StringToIntImpl(const char* begin, const char* end, int* output) {
  return ParseDecimal(begin, end, output);
}

bool StringToUintImpl(const char* begin, const char* end, unsigned* output) {
  return ParseDecimal(begin, end, output);
}

bool StringToInt(StringPiece input, int* output) {
  return ParseDecimal(input.begin(), input.end(), output);
}

bool StringToUint64(StringPiece input, uint64_t* output) {
  return ParseDecimal(input.begin(), input.end(), output);
}

bool StringToUint16(StringPiece16 input, unsigned* output) {
  return ParseDecimal(input.begin(), input.end(), output);
}

bool StringToInt64_16(StringPiece16 input, int64_t* output) {
  return ParseDecimal(input.begin(), input.end(), output);
}

bool HexStringToUInt64(StringPiece input, uint64_t* output) {
  const char* begin = input.begin();
  bool valid;
  bool negative;
  if (!SkipWhitespaceAndSign(&begin, input.end(), &valid, &negative, output))
    return false;
  return HexDigitsToUInt64(begin, input.end(), output) && valid;
}

bool HexStringToBytesPiece(StringPiece input, std::vector<uint8_t>* output) {
  if (input.empty() || input.size() % 2 != 0)
    return false;
  for (size_t i = 0; i < input.size(); i += 2) {
    const int high = HexDigitValue(input[i]);
    const int low = HexDigitValue(input[i + 1]);
    if (high < 0 || low < 0)
      return false;
    output->push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return true;
}

bool HexStringToBytes(const std::string& input, std::vector<uint8_t>* output) {
  return HexStringToBytesPiece(input, output);
}

std::string HexEncode(const void* bytes, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  const uint8_t* in = static_cast<const uint8_t*>(bytes);
  std::string text(size * 2, '\0');
  for (size_t i = 0; i < size; ++i) {
    text[2 * i] = kDigits[in[i] >> 4];
    text[2 * i + 1] = kDigits[in[i] & 0xF];
  }
  return text;
}

bool StringToDouble(const std::string& input, double* output) {
  const char* begin = input.data();
  const char* end = begin + input.size();
  const char* used_end = begin;
  bool range_error = false;
  if (!internal::ParsePlainDouble(begin, end, output, &used_end))
    *output = internal::ParseDouble(begin, end, &used_end, &range_error);
  // A range error is reported in errno as well, as strtod does; otherwise
  // errno is left alone.
  if (range_error)
    errno = ERANGE;
  // An embedded NUL stops the parse before the end, which fails too.
  return !range_error && !input.empty() && used_end == end &&
         !IsAsciiWhitespace(input[0]);
}

}  // namespace base
