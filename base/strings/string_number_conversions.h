#ifndef BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_
#define BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// Integer to text: the shortest decimal form, '-' for negative values, no
// '+', no leading zeros, no grouping. Locale-independent.
std::string IntToString(int value);
string16 IntToString16(int value);
std::string UintToString(unsigned value);
string16 UintToString16(unsigned value);
std::string Int64ToString(int64_t value);
string16 Int64ToString16(int64_t value);
std::string Uint64ToString(uint64_t value);
string16 Uint64ToString16(uint64_t value);

// The workers of IntToString and Int64ToString, for callers that name them.
std::string IntToStringImpl(int value);
std::string Int64ToStringImpl(int64_t value);

// Text to integer. True only for exactly one decimal number in range: an
// optional '-' (signed types) or '+', then digits '0' to '9' up to the end.
// The output is always written: the value of the digits before a bad
// character, the clamped extreme on overflow, or 0. Leading ASCII
// whitespace (space, tab, LF, VT, FF, CR) is skipped but makes the result
// false. A '-' makes an unsigned parse fail at once with 0.
bool StringToInt(StringPiece input, int* output);
bool StringToIntImpl(const char* begin, const char* end, int* output);
bool StringToUintImpl(const char* begin, const char* end, unsigned* output);
bool StringToUint64(StringPiece input, uint64_t* output);
bool StringToUint16(StringPiece16 input, unsigned* output);
bool StringToInt64_16(StringPiece16 input, int64_t* output);

// Hexadecimal text to integer, with an optional "0x" or "0X" prefix and the
// same rules for whitespace, sign and output as above. Overflow gives
// 0xFFFFFFFFFFFFFFFF and false.
bool HexStringToUInt64(StringPiece input, uint64_t* output);

// Appends one byte per pair of hexadecimal digits (high digit first, either
// case) to |output|, which is not cleared. False for empty or odd-length
// input, and at the first bad pair, after the bytes before it.
bool HexStringToBytes(const std::string& input, std::vector<uint8_t>* output);
bool HexStringToBytesPiece(StringPiece input, std::vector<uint8_t>* output);

// Two upper-case hexadecimal digits per byte, high nibble first.
std::string HexEncode(const void* bytes, size_t size);

// Text to double, independent of the locale. True only when the whole text
// is one number in range without leading whitespace; "inf", "infinity" and
// "nan" in any case count as numbers. The output is always written (with
// +-infinity or 0 on a range error, which leaves ERANGE in errno).
bool StringToDouble(const std::string& input, double* output);

}  // namespace base

#endif  // BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_
