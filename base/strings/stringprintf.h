#ifndef BASE_STRINGS_STRINGPRINTF_H_
#define BASE_STRINGS_STRINGPRINTF_H_

// Temporary local stand-in until the real formatting lands; never landed.
#include <stdarg.h>
#include <stdio.h>

#include <string>

namespace base {

inline std::string StringPrintf(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  return buffer;
}

}  // namespace base

#endif  // BASE_STRINGS_STRINGPRINTF_H_
