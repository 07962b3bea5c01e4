#include "base/strings/stringprintf.h"

#include <stdio.h>

#include "base/strings/stringprintf_internal.h"

namespace base {

int vsnprintfChecked(char* buffer,
                     size_t size,
                     const char* format,
                     va_list arguments) {
#if defined(_WIN32)
  // Named outright: msvcrt's _vsnprintf returns -1 when the buffer is too
  // small and reads "%ls" differently.
  if (!internal::OtherWidthTextIsAscii(format, arguments))
    return -1;
  int result = __mingw_vsnprintf(buffer, size, format, arguments);
#else
  int result = vsnprintf(buffer, size, format, arguments);
#endif
  return result < 0 ? -1 : result;
}

void StringAppendV(std::string* dst, const char* format, va_list arguments) {
  internal::AppendFormatted(dst, format, arguments, &vsnprintfChecked);
}

std::string StringPrintf(const char* format, ...) {
  std::string result;
  va_list arguments;
  va_start(arguments, format);
  StringAppendV(&result, format, arguments);
  va_end(arguments);
  return result;
}

const std::string& SStringPrintf(std::string* dst, const char* format, ...) {
  dst->clear();
  va_list arguments;
  va_start(arguments, format);
  StringAppendV(dst, format, arguments);
  va_end(arguments);
  return *dst;
}

void StringAppendF(std::string* dst, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  StringAppendV(dst, format, arguments);
  va_end(arguments);
}

}  // namespace base
