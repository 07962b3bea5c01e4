#ifndef BASE_WIN_I18N_H_
#define BASE_WIN_I18N_H_

#include <windows.h>

#include <stddef.h>

#include <string>
#include <vector>

namespace base {
namespace win {
// Appends the names of the calling thread's preferred UI languages, most
// preferred first ("en-US" and the like). False when none can be found.
bool GetThreadPreferredUILanguageList(std::vector<std::wstring>* languages);

namespace internal {

// Appends the names of a system language list: names ended by NUL, the list
// ended by an empty name, all within `chars` characters. Returns how many
// names were appended.
size_t AppendLanguageList(const wchar_t* buffer,
                          size_t chars,
                          std::vector<std::wstring>* languages);

// The name of the UI language `language` ("language-COUNTRY" for a specific
// one), appended to `languages`; false for the custom default language or
// one the system cannot name.
bool AppendLanguageName(LANGID language, std::vector<std::wstring>* languages);

}  // namespace internal

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_I18N_H_
