#include "base/strings/stringprintf.h"

#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

#include "base/strings/stringprintf_internal.h"

namespace base {

namespace internal {

namespace {

template <typename CharT>
bool IsOneOf(CharT c, const char* set) {
  for (; *set; ++set) {
    if (c == static_cast<CharT>(*set))
      return true;
  }
  return false;
}

template <typename CharT>
bool IsDigit(CharT c) {
  return c >= '0' && c <= '9';
}

// Whether the first |limit| units of |text| (all of it when |limit| is
// negative) are ASCII. A null pointer prints as "(null)".
template <typename UnitT>
bool IsAsciiText(const UnitT* text, int limit) {
  const size_t count = limit < 0 ? SIZE_MAX : static_cast<size_t>(limit);
  for (size_t i = 0; text && i < count && text[i]; ++i) {
    if (static_cast<uint32_t>(text[i]) >= 0x80)
      return false;
  }
  return true;
}

enum class Length { NONE, SHORT, LONG, LONG_LONG, LONG_DOUBLE };

template <typename CharT>
bool WalkFormat(const CharT* format, va_list arguments) {
  constexpr bool kWideFormat = sizeof(CharT) == sizeof(wchar_t);
  for (const CharT* p = format; *p; ++p) {
    if (*p != '%')
      continue;
    ++p;
    if (*p == '%')
      continue;
    while (IsOneOf(*p, "-+ #0'"))
      ++p;
    if (*p == '*') {
      va_arg(arguments, int);
      ++p;
    }
    while (IsDigit(*p))
      ++p;
    if (*p == '$')
      return false;
    int precision = -1;
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        precision = va_arg(arguments, int);
        ++p;
      } else {
        precision = 0;
        for (; IsDigit(*p); ++p) {
          precision = precision > (INT_MAX - 9) / 10
                          ? INT_MAX
                          : precision * 10 + static_cast<int>(*p - '0');
        }
      }
    }

    Length length = Length::NONE;
    if (*p == 'h') {
      length = Length::SHORT;
      p += p[1] == 'h' ? 2 : 1;
    } else if (*p == 'l') {
      length = p[1] == 'l' ? Length::LONG_LONG : Length::LONG;
      p += p[1] == 'l' ? 2 : 1;
    } else if (*p == 'L') {
      length = Length::LONG_DOUBLE;
      ++p;
    } else if (IsOneOf(*p, "jzt")) {
      length = Length::LONG_LONG;
      ++p;
    } else if (*p == 'I') {
      ++p;
      if (p[0] == '3' && p[1] == '2') {
        p += 2;
      } else {
        if (p[0] == '6' && p[1] == '4')
          p += 2;
        length = Length::LONG_LONG;
      }
    }

    const CharT conversion = *p;
    if (IsOneOf(conversion, "diouxX")) {
      if (length == Length::LONG_LONG || length == Length::LONG_DOUBLE)
        va_arg(arguments, long long);
      else if (length == Length::LONG)
        va_arg(arguments, long);
      else
        va_arg(arguments, int);
    } else if (IsOneOf(conversion, "eEfFgGaA")) {
      if (length == Length::LONG_DOUBLE)
        va_arg(arguments, long double);
      else
        va_arg(arguments, double);
    } else if (IsOneOf(conversion, "pn")) {
      va_arg(arguments, void*);
    } else if (IsOneOf(conversion, "cCsS")) {
      // Lower case is narrow unless "l" says wide, upper case wide unless
      // "h" says narrow, in narrow and wide formats alike.
      if (length != Length::NONE && length != Length::SHORT &&
          length != Length::LONG) {
        return false;
      }
      const bool wide_argument = (conversion == 'C' || conversion == 'S')
                                     ? length != Length::SHORT
                                     : length == Length::LONG;
      const bool other_width = wide_argument != kWideFormat;
      if (conversion == 'c' || conversion == 'C') {
        // Promoted to int on the way in.
        const int value = va_arg(arguments, int);
        const uint32_t unit = wide_argument ? (value & 0xFFFF) : (value & 0xFF);
        if (other_width && unit >= 0x80)
          return false;
      } else if (wide_argument) {
        const wchar_t* text = va_arg(arguments, const wchar_t*);
        if (other_width && !IsAsciiText(text, precision))
          return false;
      } else {
        const char* text = va_arg(arguments, const char*);
        if (other_width && !IsAsciiText(text, precision))
          return false;
      }
    } else {
      return false;
    }
  }
  return true;
}

template <typename CharT>
bool WalkFormatCopy(const CharT* format, va_list arguments) {
  va_list copy;
  va_copy(copy, arguments);
  const bool result = WalkFormat(format, copy);
  va_end(copy);
  return result;
}

}  // namespace

bool OtherWidthTextIsAscii(const char* format, va_list arguments) {
  return WalkFormatCopy(format, arguments);
}

bool OtherWidthTextIsAscii(const wchar_t* format, va_list arguments) {
  return WalkFormatCopy(format, arguments);
}

}  // namespace internal

int vswprintfChecked(char16* buffer,
                     size_t size,
                     const char16* format,
                     va_list arguments) {
  // mingw's C99 formatter, like the narrow one: it reports the size needed
  // when the buffer is too small, and "%ls" is the wide argument.
  if (!internal::OtherWidthTextIsAscii(as_wcstr(format), arguments))
    return -1;
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
