#ifndef BASE_STRINGS_ASCII_CHARS_H_
#define BASE_STRINGS_ASCII_CHARS_H_

// Character tests shared by the text-to-number parsers. They look at the
// value of a unit only, so narrow and wide text are read alike and no byte
// is classified through the C locale.

namespace base {
namespace internal {

// The six ASCII whitespace characters: tab, LF, VT, FF, CR and space.
template <typename CharT>
constexpr bool IsAsciiWhitespace(CharT c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

template <typename CharT>
constexpr bool IsAsciiDigit(CharT c) {
  return c >= '0' && c <= '9';
}

// 0 to 15 for a hexadecimal digit of either case, else -1.
template <typename CharT>
constexpr int HexDigitValue(CharT c) {
  if (IsAsciiDigit(c))
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

}  // namespace internal
}  // namespace base

#endif  // BASE_STRINGS_ASCII_CHARS_H_
