#ifndef BASE_STRINGS_STRINGPRINTF_H_
#define BASE_STRINGS_STRINGPRINTF_H_

#include <stdarg.h>
#include <stddef.h>

#include <string>

#include "base/strings/string16.h"

// printf-style formatting into strings. One formatter family everywhere:
// the C99 one (mingw's own on Windows, not msvcrt's), so "%zu", "%lld" and
// "%ls" mean the same in both builds, a too-small buffer reports the size
// needed, and in wide formats "%s" is narrow text: wide arguments are
// always "%ls". The runtime's current locale applies.

#define BASE_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(gnu_printf, format_index, first_argument)))

namespace base {

std::string StringPrintf(const char* format, ...) BASE_PRINTF_FORMAT(1, 2);

// Empties |dst|, formats into it and returns it.
const std::string& SStringPrintf(std::string* dst, const char* format, ...)
    BASE_PRINTF_FORMAT(2, 3);

// Appends to |dst|. On a format error, or when the result would be above
// 32 Mi characters, nothing is appended.
void StringAppendF(std::string* dst, const char* format, ...)
    BASE_PRINTF_FORMAT(2, 3);
void StringAppendV(std::string* dst, const char* format, va_list arguments)
    BASE_PRINTF_FORMAT(2, 0);

// Formats at most |size| - 1 characters and a NUL into |buffer|. Returns the
// length of the whole output (which may exceed what fit), or -1.
int vsnprintfChecked(char* buffer,
                     size_t size,
                     const char* format,
                     va_list arguments) BASE_PRINTF_FORMAT(3, 0);

#if defined(_WIN32)
// The wide forms, on the platform's 16-bit wchar_t.
string16 StringPrintf16(const char16* format, ...);
void StringAppendV16(string16* dst, const char16* format, va_list arguments);
int vswprintfChecked(char16* buffer,
                     size_t size,
                     const char16* format,
                     va_list arguments);
#endif

}  // namespace base

#endif  // BASE_STRINGS_STRINGPRINTF_H_
