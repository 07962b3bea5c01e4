#ifndef BASE_STRINGS_STRING16_H_
#define BASE_STRINGS_STRING16_H_

#include <string>

// Wide text is UTF-16 in 16-bit units on every target, so that code which
// never touches the platform builds and runs natively as well.
typedef char16_t char16;
typedef std::u16string string16;

#if defined(_WIN32)
// At the Windows boundary the two 16-bit character types are the same bits.
inline const wchar_t* as_wcstr(const char16* str) {
  return reinterpret_cast<const wchar_t*>(str);
}
inline wchar_t* as_writable_wcstr(char16* str) {
  return reinterpret_cast<wchar_t*>(str);
}
inline const wchar_t* as_wcstr(const string16& str) {
  return reinterpret_cast<const wchar_t*>(str.c_str());
}
inline const char16* as_u16cstr(const wchar_t* str) {
  return reinterpret_cast<const char16*>(str);
}
inline char16* as_writable_u16cstr(wchar_t* str) {
  return reinterpret_cast<char16*>(str);
}
#endif

#endif  // BASE_STRINGS_STRING16_H_
