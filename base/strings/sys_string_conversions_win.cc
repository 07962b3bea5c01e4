#include "base/strings/sys_string_conversions.h"

#include <windows.h>

#include <limits>

namespace base {
namespace {

// The code-page functions count in int. Longer text is refused whole
// rather than converted only as far as a truncated count reaches.
bool FitsInt(size_t length) {
  return length <= static_cast<size_t>(std::numeric_limits<int>::max());
}

std::wstring SysUTF8ToWideImpl(StringPiece utf8) {
  if (utf8.empty() || !FitsInt(utf8.size()))
    return std::wstring();
  const int in_length = static_cast<int>(utf8.size());
  const int out_length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in_length, nullptr, 0);
  if (out_length <= 0)
    return std::wstring();
  std::wstring wide(static_cast<size_t>(out_length), L'\0');
  const int written = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in_length,
                                          &wide[0], out_length);
  // Not expected after a successful size query, but a short or failed
  // second call must not hand back a half-filled buffer.
  if (written <= 0)
    return std::wstring();
  wide.resize(static_cast<size_t>(written));
  return wide;
}

std::string SysWideToUTF8Impl(const std::wstring& wide) {
  if (wide.empty() || !FitsInt(wide.size()))
    return std::string();
  const int in_length = static_cast<int>(wide.size());
  const int out_length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), in_length,
                                             nullptr, 0, nullptr, nullptr);
  if (out_length <= 0)
    return std::string();
  std::string utf8(static_cast<size_t>(out_length), '\0');
  const int written =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), in_length, &utf8[0],
                          out_length, nullptr, nullptr);
  if (written <= 0)
    return std::string();
  utf8.resize(static_cast<size_t>(written));
  return utf8;
}

}  // namespace

std::wstring SysUTF8ToWide(StringPiece utf8) { return SysUTF8ToWideImpl(utf8); }

std::string SysWideToUTF8(const std::wstring& wide) {
  return SysWideToUTF8Impl(wide);
}

}  // namespace base
