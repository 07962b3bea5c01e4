#ifndef BASE_STRINGS_UTF_STRING_CONVERSIONS_H_
#define BASE_STRINGS_UTF_STRING_CONVERSIONS_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// Conversions between UTF-8 and UTF-16. They never fail: every malformed
// sequence, unpaired surrogate or invalid code point becomes one U+FFFD.
string16 UTF8ToUTF16(StringPiece utf8);
std::string UTF16ToUTF8(StringPiece16 utf16);

#if defined(_WIN32)
std::wstring UTF8ToWide(StringPiece utf8);
std::string WideToUTF8(const std::wstring& wide);
#endif

// Only for text known to be ASCII: each unit is widened, or cut to its low
// byte, without a check.
string16 ASCIIToUTF16(StringPiece ascii);
std::string UTF16ToASCII(StringPiece16 utf16);

// The conversion loops: append the converted |src_len| units to |output|
// and return false when at least one U+FFFD had to be substituted.
bool ConvertUTF8ToUTF16(const char* src, size_t src_len, string16* output);
bool ConvertUTF16ToUTF8(const char16* src, size_t src_len, std::string* output);

// Decodes the one code point that starts at |*index| of |src| and moves
// |*index| past the bytes it consumes. A byte below 0x80 is itself. A lead
// byte 0xC0 to 0xFD announces 1 to 5 trail bytes; the sequence must be
// complete, of 1 to 3 trail bytes, shortest-form, and give a code point
// that is no surrogate and not above U+10FFFF. On success it consumes the
// whole sequence. On failure it returns false and consumes the lead byte
// and the trail-form bytes (10xxxxxx) that follow it, at most as many as
// the lead announced. Any other byte of 0x80 or above fails and consumes
// only itself. |*index| must be below |src_len|.
bool ReadUTF8CodePoint(const char* src, size_t src_len, size_t* index,
                       uint32_t* code_point);

// The length (2 to 4) of the well-formed sequence that starts at |src|, a
// lead byte of 0x80 or above followed by |src_len| - 1 readable bytes, or 0
// when there is none: exactly the sequences that ReadUTF8CodePoint()
// accepts, checked without decoding, for scanners that keep valid text as
// it stands.
inline size_t WellFormedUTF8Length(const char* src, size_t src_len) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(src);
  auto is_trail = [](unsigned char b) { return (b & 0xC0) == 0x80; };
  const unsigned char lead = p[0];
  if (lead < 0xC2)  // a trail byte, or an overlong two-byte form
    return 0;
  if (lead < 0xE0)
    return src_len >= 2 && is_trail(p[1]) ? 2 : 0;
  // The second byte's range rules out overlong forms, surrogates (ED A0
  // and above) and values above U+10FFFF (F4 90 and above).
  if (lead < 0xF0) {
    const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
    return src_len >= 3 && p[1] >= low && p[1] <= high && is_trail(p[2]) ? 3
                                                                          : 0;
  }
  if (lead < 0xF5) {
    const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
    return src_len >= 4 && p[1] >= low && p[1] <= high && is_trail(p[2]) &&
                   is_trail(p[3])
               ? 4
               : 0;
  }
  return 0;
}

// Writes the UTF-8 form of |code_point| (1 to 4 bytes) to |bytes| without
// validating it, and returns how many bytes it wrote.
size_t EncodeUTF8(uint32_t code_point, char* bytes);

// Append the UTF-8 (1 to 4 bytes) or UTF-16 (1 or 2 units) form of
// |code_point| without validating it, and return how many units they
// appended.
size_t WriteUnicodeCharacter(uint32_t code_point, std::string* output);
size_t WriteUnicodeCharacter16(uint32_t code_point, string16* output);

}  // namespace base

#endif  // BASE_STRINGS_UTF_STRING_CONVERSIONS_H_
