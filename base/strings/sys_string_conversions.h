#ifndef BASE_STRINGS_SYS_STRING_CONVERSIONS_H_
#define BASE_STRINGS_SYS_STRING_CONVERSIONS_H_

#include <string>

#include "base/strings/string_piece.h"

namespace base {

#if defined(_WIN32)
// Conversions through the Windows code-page functions with the UTF-8 code
// page. Windows substitutes U+FFFD for malformed input itself; an empty
// result means either an empty input or that Windows refused the text.
std::wstring SysUTF8ToWide(StringPiece utf8);
std::string SysWideToUTF8(const std::wstring& wide);
#endif

}  // namespace base

#endif  // BASE_STRINGS_SYS_STRING_CONVERSIONS_H_
