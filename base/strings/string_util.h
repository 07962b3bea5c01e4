#ifndef BASE_STRINGS_STRING_UTIL_H_
#define BASE_STRINGS_STRING_UTIL_H_

// Temporary local stand-in until the real helpers land; never landed.
#include "base/strings/string_piece.h"

namespace base {

inline bool IsStringASCII(StringPiece s) {
  for (size_t i = 0; i < s.size(); ++i)
    if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
  return true;
}

}  // namespace base

#endif  // BASE_STRINGS_STRING_UTIL_H_
