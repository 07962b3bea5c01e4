#include "base/win/registry.h"

#include <wchar.h>

namespace base {
namespace win {

namespace {

constexpr REGSAM kViewMask = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
constexpr REGSAM kWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK;

// The text of `chars` characters up to the first NUL. Registry strings need
// not be terminated, so the stored size is the only reliable bound.
std::wstring TextUpToNul(const wchar_t* text, size_t chars) {
  return std::wstring(text, wcsnlen(text, chars));
}

}  // namespace

RegKey::RegKey(HKEY root, const wchar_t* subkey, REGSAM access) {
  if (!root) {
    view_bits_ = access & kViewMask;
    return;
  }
  if (access & kWriteAccess)
    Create(root, subkey, access);
  else
    Open(root, subkey, access);
}

RegKey::~RegKey() {
  if (key_)
    RegCloseKey(key_);
}

LONG RegKey::Create(HKEY root, const wchar_t* subkey, REGSAM access) {
  HKEY key = nullptr;
  const LONG result = RegCreateKeyExW(root, subkey, 0, nullptr, 0, access, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS)
    Replace(key, access);
  return result;
}

LONG RegKey::Open(HKEY root, const wchar_t* subkey, REGSAM access) {
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExW(root, subkey, 0, access, &key);
  if (result == ERROR_SUCCESS)
    Replace(key, access);
  return result;
}

void RegKey::Replace(HKEY key, REGSAM access) {
  // The new key is open before the old one closes, so the held key may
  // serve as the root of its own replacement.
  if (key_)
    RegCloseKey(key_);
  key_ = key;
  view_bits_ = access & kViewMask;
}

LONG RegKey::ReadValueDW(const wchar_t* name, DWORD* out) const {
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD size = sizeof(value);
  const LONG result =
      RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  if (result != ERROR_SUCCESS)
    return result;
  if ((type != REG_DWORD && type != REG_BINARY) || size != sizeof(value))
    return ERROR_CANTREAD;
  *out = value;
  return ERROR_SUCCESS;
}

LONG RegKey::ReadValue(const wchar_t* name, std::wstring* out) const {
  // One spare character so that an unterminated value of the full size can
  // still be terminated before the expansion reads it.
  wchar_t raw[kMaxValueChars + 1];
  DWORD type = REG_NONE;
  DWORD size = kMaxValueChars * sizeof(wchar_t);
  const LONG result =
      RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(raw), &size);
  if (result != ERROR_SUCCESS)
    return result;
  if (size > kMaxValueChars * sizeof(wchar_t))
    return ERROR_MORE_DATA;
  const size_t chars = size / sizeof(wchar_t);
  raw[chars] = L'\0';

  if (type == REG_SZ) {
    *out = TextUpToNul(raw, chars);
    return ERROR_SUCCESS;
  }
  if (type == REG_EXPAND_SZ) {
    wchar_t expanded[kMaxValueChars];
    const DWORD needed = ExpandEnvironmentStringsW(raw, expanded, kMaxValueChars);
    if (needed == 0 || needed > kMaxValueChars)
      return ERROR_MORE_DATA;
    *out = TextUpToNul(expanded, needed);
    return ERROR_SUCCESS;
  }
  return ERROR_CANTREAD;
}

}  // namespace win
}  // namespace base
