#include "base/strings/utf_string_conversions.h"

#include <type_traits>

#include "base/strings/string_util.h"

namespace base {
namespace {

const uint32_t kReplacementCharacter = 0xFFFD;

bool IsTrailByte(unsigned char b) { return (b & 0xC0) == 0x80; }

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// ASCII text is copied unit by unit into a buffer sized once. The units
// are zero-extended or cut, never sign-extended.
template <typename Dest, typename Src>
Dest CopyUnits(const Src* src, size_t length) {
  typedef typename std::make_unsigned<Src>::type Unit;
  typedef typename Dest::value_type DestUnit;
  Dest result;
  result.reserve(length);
  for (size_t i = 0; i < length; ++i)
    result.push_back(static_cast<DestUnit>(static_cast<Unit>(src[i])));
  return result;
}

}  // namespace

bool ReadUTF8CodePoint(const char* src, size_t src_len, size_t* index,
                       uint32_t* code_point) {
  const unsigned char lead = static_cast<unsigned char>(src[*index]);
  if (lead < 0x80) {
    ++*index;
    *code_point = lead;
    return true;
  }
  const size_t length = WellFormedUTF8Length(src + *index, src_len - *index);
  if (length) {
    // The lead keeps 7 - length bits; each trail byte adds 6.
    uint32_t value = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k)
      value = (value << 6) | (static_cast<unsigned char>(src[*index + k]) & 0x3F);
    *index += length;
    *code_point = value;
    return true;
  }

  *code_point = kReplacementCharacter;
  ++*index;
  // A stray trail byte, 0xFE or 0xFF: only itself is consumed. Any other
  // lead takes with it the trail-form bytes that follow, at most as many
  // as it announces (up to five, though more than three is never valid).
  if (lead < 0xC0 || lead > 0xFD)
    return false;
  const size_t announced = lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3
                         : lead < 0xFC ? 4 : 5;
  for (size_t k = 0; k < announced && *index < src_len &&
                     IsTrailByte(static_cast<unsigned char>(src[*index]));
       ++k) {
    ++*index;
  }
  return false;
}

size_t EncodeUTF8(uint32_t code_point, char* bytes) {
  if (code_point < 0x80) {
    bytes[0] = static_cast<char>(code_point);
    return 1;
  }
  size_t count;
  if (code_point <= 0x7FF) {
    bytes[0] = static_cast<char>(0xC0 | (code_point >> 6));
    count = 2;
  } else if (code_point <= 0xFFFF) {
    bytes[0] = static_cast<char>(0xE0 | (code_point >> 12));
    bytes[1] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    count = 3;
  } else {
    bytes[0] = static_cast<char>(0xF0 | (code_point >> 18));
    bytes[1] = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    count = 4;
  }
  bytes[count - 1] = static_cast<char>(0x80 | (code_point & 0x3F));
  return count;
}

size_t WriteUnicodeCharacter(uint32_t code_point, std::string* output) {
  char bytes[4];
  const size_t count = EncodeUTF8(code_point, bytes);
  output->append(bytes, count);
  return count;
}

size_t WriteUnicodeCharacter16(uint32_t code_point, string16* output) {
  if (code_point < 0x10000) {
    output->push_back(static_cast<char16>(code_point));
    return 1;
  }
  output->push_back(static_cast<char16>((code_point >> 10) + 0xD7C0));
  output->push_back(static_cast<char16>((code_point & 0x3FF) | 0xDC00));
  return 2;
}

// Lengths are size_t throughout, so that text of any size converts whole.
bool ConvertUTF8ToUTF16(const char* src, size_t src_len, string16* output) {
  bool success = true;
  size_t i = 0;
  while (i < src_len) {
    uint32_t code_point;
    if (!ReadUTF8CodePoint(src, src_len, &i, &code_point)) {
      code_point = kReplacementCharacter;
      success = false;
    }
    WriteUnicodeCharacter16(code_point, output);
  }
  return success;
}

bool ConvertUTF16ToUTF8(const char16* src, size_t src_len,
                        std::string* output) {
  bool success = true;
  size_t i = 0;
  while (i < src_len) {
    const uint32_t unit = src[i];
    if (!IsHighSurrogate(unit) && !IsLowSurrogate(unit)) {
      WriteUnicodeCharacter(unit, output);
      ++i;
    } else if (IsHighSurrogate(unit) && i + 1 < src_len &&
               IsLowSurrogate(src[i + 1])) {
      WriteUnicodeCharacter(
          0x10000 + ((unit - 0xD800) << 10) + (src[i + 1] - 0xDC00u), output);
      i += 2;
    } else {
      // An unpaired surrogate: the unit after it is converted on its own.
      WriteUnicodeCharacter(kReplacementCharacter, output);
      success = false;
      ++i;
    }
  }
  return success;
}

string16 UTF8ToUTF16(StringPiece utf8) {
  if (IsStringASCII(utf8))
    return CopyUnits<string16>(utf8.data(), utf8.size());
  string16 result;
  // Text that starts outside ASCII likely stays there: about half a unit
  // per byte.
  const bool starts_wide = static_cast<unsigned char>(utf8[0]) >= 0x80;
  result.reserve(starts_wide ? utf8.size() / 2 : utf8.size());
  ConvertUTF8ToUTF16(utf8.data(), utf8.size(), &result);
  return result;
}

std::string UTF16ToUTF8(StringPiece16 utf16) {
  if (IsStringASCII16(utf16))
    return CopyUnits<std::string>(utf16.data(), utf16.size());
  std::string result;
  const bool starts_wide = utf16[0] >= 0x80;
  result.reserve(starts_wide ? utf16.size() * 3 : utf16.size());
  ConvertUTF16ToUTF8(utf16.data(), utf16.size(), &result);
  return result;
}

#if defined(_WIN32)
std::wstring UTF8ToWide(StringPiece utf8) {
  const string16 utf16 = UTF8ToUTF16(utf8);
  return std::wstring(as_wcstr(utf16), utf16.size());
}

std::string WideToUTF8(const std::wstring& wide) {
  return UTF16ToUTF8(StringPiece16(as_u16cstr(wide.data()), wide.size()));
}
#endif

string16 ASCIIToUTF16(StringPiece ascii) {
  return CopyUnits<string16>(ascii.data(), ascii.size());
}

std::string UTF16ToASCII(StringPiece16 utf16) {
  return CopyUnits<std::string>(utf16.data(), utf16.size());
}

}  // namespace base
