#include "base/win/i18n.h"

#include <wchar.h>

namespace base {
namespace win {

namespace {

// The custom default UI language: no name can be derived from it.
constexpr LANGID kCustomDefaultLanguage = 0x1400;
// LANGIDs below this are neutral languages, named without a country.
constexpr LANGID kFirstSpecificLanguage = 0x400;
constexpr int kLocaleNameChars = 9;

using GetThreadPreferredUILanguagesFunction = BOOL(WINAPI*)(DWORD, PULONG, PZZWSTR, PULONG);

// The locale text of `type` up to its NUL; empty when the system has none.
std::wstring GetLocaleText(LANGID language, LCTYPE type) {
  wchar_t text[kLocaleNameChars] = {};
  const int written = GetLocaleInfoW(language, type, text, kLocaleNameChars);
  if (written < 2)
    return std::wstring();
  return std::wstring(text, wcsnlen(text, static_cast<size_t>(written)));
}

bool AppendPreferredLanguages(std::vector<std::wstring>* languages) {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  auto get_languages = reinterpret_cast<GetThreadPreferredUILanguagesFunction>(
      kernel32 ? reinterpret_cast<void*>(GetProcAddress(kernel32, "GetThreadPreferredUILanguages"))
               : nullptr);
  if (!get_languages)
    return false;
  constexpr DWORD kFlags = MUI_LANGUAGE_NAME | MUI_MERGE_SYSTEM_FALLBACK | MUI_MERGE_USER_FALLBACK;
  ULONG count = 0;
  ULONG chars = 0;
  if (!get_languages(kFlags, &count, nullptr, &chars) || chars == 0)
    return false;
  std::vector<wchar_t> buffer(chars);
  ULONG filled = chars;
  if (!get_languages(kFlags, &count, buffer.data(), &filled) || count == 0)
    return false;
  // The system's count is the smaller of what it claims and what we gave.
  const size_t limit = filled < chars ? filled : chars;
  return internal::AppendLanguageList(buffer.data(), limit, languages) > 0;
}

}  // namespace

namespace internal {

size_t AppendLanguageList(const wchar_t* buffer,
                          size_t chars,
                          std::vector<std::wstring>* languages) {
  size_t appended = 0;
  size_t position = 0;
  while (position < chars) {
    const size_t length = wcsnlen(buffer + position, chars - position);
    // An empty name ends the list; a name that runs off the buffer is cut
    // and not trusted.
    if (length == 0 || position + length == chars)
      break;
    languages->emplace_back(buffer + position, length);
    ++appended;
    position += length + 1;
  }
  return appended;
}

bool AppendLanguageName(LANGID language, std::vector<std::wstring>* languages) {
  if (language == kCustomDefaultLanguage)
    return false;
  std::wstring name = GetLocaleText(language, LOCALE_SISO639LANGNAME);
  if (name.empty())
    return false;
  if (language >= kFirstSpecificLanguage) {
    const std::wstring country = GetLocaleText(language, LOCALE_SISO3166CTRYNAME);
    if (!country.empty())
      name += L"-" + country;
  }
  languages->push_back(name);
  return true;
}

}  // namespace internal

bool GetThreadPreferredUILanguageList(std::vector<std::wstring>* languages) {
  if (AppendPreferredLanguages(languages))
    return true;
  return internal::AppendLanguageName(GetUserDefaultUILanguage(), languages);
}

}  // namespace win
}  // namespace base
