#ifndef BASE_STRINGS_UTF_STRING_CONVERSIONS_H_
#define BASE_STRINGS_UTF_STRING_CONVERSIONS_H_

// Temporary local stand-in until the real conversions land; never landed.
#include <string>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

inline size_t WriteUnicodeCharacter(uint32_t cp, std::string* out) {
  size_t before = out->size();
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
  return out->size() - before;
}

// Strict decode of one code point at *index; false (index past the lead
// byte) for anything malformed.
inline bool StandInReadUTF8(const char* src, size_t len, size_t* index,
                            uint32_t* cp) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  unsigned char b = s[(*index)++];
  if (b < 0x80) { *cp = b; return true; }
  int t; uint32_t min;
  if (b >= 0xC0 && b <= 0xDF) { t = 1; min = 0x80; *cp = b & 0x1F; }
  else if (b >= 0xE0 && b <= 0xEF) { t = 2; min = 0x800; *cp = b & 0x0F; }
  else if (b >= 0xF0 && b <= 0xF7) { t = 3; min = 0x10000; *cp = b & 0x07; }
  else return false;
  size_t i = *index;
  for (int k = 0; k < t; ++k) {
    if (i >= len || (s[i] & 0xC0) != 0x80) return false;
    *cp = (*cp << 6) | (s[i++] & 0x3F);
  }
  if (*cp < min || (*cp >= 0xD800 && *cp <= 0xDFFF) || *cp > 0x10FFFF)
    return false;
  *index = i;
  return true;
}

inline string16 UTF8ToUTF16(StringPiece in) {
  string16 out;
  size_t i = 0;
  while (i < in.size()) {
    uint32_t cp;
    if (!StandInReadUTF8(in.data(), in.size(), &i, &cp)) cp = 0xFFFD;
    if (cp < 0x10000) {
      out.push_back(static_cast<char16>(cp));
    } else {
      out.push_back(static_cast<char16>((cp >> 10) + 0xD7C0));
      out.push_back(static_cast<char16>((cp & 0x3FF) | 0xDC00));
    }
  }
  return out;
}

inline std::string UTF16ToUTF8(StringPiece16 in) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    uint32_t u = in[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      u = 0xFFFD;
    }
    WriteUnicodeCharacter(u, &out);
  }
  return out;
}

}  // namespace base

#endif  // BASE_STRINGS_UTF_STRING_CONVERSIONS_H_
