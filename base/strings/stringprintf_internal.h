#ifndef BASE_STRINGS_STRINGPRINTF_INTERNAL_H_
#define BASE_STRINGS_STRINGPRINTF_INTERNAL_H_

#include <stdarg.h>
#include <stddef.h>

#include <vector>

namespace base {
namespace internal {

// Results above this many characters are refused.
constexpr size_t kMaxFormattedLength = 32 * 1024 * 1024;

#if defined(_WIN32)
// The runtime turns text of the other width than the format (a "%ls" or
// "%lc" argument of a narrow format, a "%s" or "%c" one of a wide format)
// unit by unit as Latin-1, and drops what does not fit without failing.
// Narrow text here is UTF-8, so only ASCII crosses the widths unchanged.
// False when such an argument holds anything else, or when the format
// cannot be walked (a conversion the runtime does not know, numbered
// arguments): the call must fail rather than write other text.
bool OtherWidthTextIsAscii(const char* format, va_list arguments);
bool OtherWidthTextIsAscii(const wchar_t* format, va_list arguments);
#endif

// Appends the formatted text to |dst|: first through a stack buffer, then,
// when that was too small, through a heap buffer of the size the formatter
// asked for. |Format| is vsnprintfChecked or vswprintfChecked.
template <typename StringT, typename CharT>
void AppendFormatted(StringT* dst,
                     const CharT* format,
                     va_list arguments,
                     int (*Format)(CharT*, size_t, const CharT*, va_list)) {
  CharT stack_buffer[1024];
  va_list copy;
  va_copy(copy, arguments);
  int result = Format(stack_buffer, 1024, format, copy);
  va_end(copy);
  if (result >= 0 && result < 1024) {
    dst->append(stack_buffer, static_cast<size_t>(result));
    return;
  }
  // A formatter may answer "too small" without a size; growing until it
  // fits stays bounded by the limit either way.
  while (result >= 0) {
    const size_t size = static_cast<size_t>(result) + 1;
    if (size > kMaxFormattedLength)
      return;
    std::vector<CharT> heap_buffer(size);
    va_copy(copy, arguments);
    result = Format(heap_buffer.data(), size, format, copy);
    va_end(copy);
    if (result >= 0 && static_cast<size_t>(result) < size) {
      dst->append(heap_buffer.data(), static_cast<size_t>(result));
      return;
    }
  }
}

}  // namespace internal
}  // namespace base

#endif  // BASE_STRINGS_STRINGPRINTF_INTERNAL_H_
