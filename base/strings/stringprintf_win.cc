#include "base/strings/stringprintf.h"

#include <stdio.h>
#include <wchar.h>

#include "base/strings/stringprintf_internal.h"

namespace base {

int vswprintfChecked(char16* buffer,
                     size_t size,
                     const char16* format,
                     va_list arguments) {
  // mingw's C99 formatter, like the narrow one: it reports the size needed
  // when the buffer is too small, and "%ls" is the wide argument.
  int result = __mingw_vsnwprintf(as_writable_wcstr(buffer), size,
                                  as_wcstr(format), arguments);
  return result < 0 ? -1 : result;
}

void StringAppendV16(string16* dst, const char16* format, va_list arguments) {
  internal::AppendFormatted(dst, format, arguments, &vswprintfChecked);
}

string16 StringPrintf16(const char16* format, ...) {
  string16 result;
  va_list arguments;
  va_start(arguments, format);
  StringAppendV16(&result, format, arguments);
  va_end(arguments);
  return result;
}

}  // namespace base
