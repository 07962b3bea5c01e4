#ifndef BASE_WIN_REGISTRY_H_
#define BASE_WIN_REGISTRY_H_

#include <windows.h>

#include <string>

namespace base {
namespace win {

// An owned registry key, closed on destruction. Not copyable; not shared
// between threads.
class RegKey {
 public:
  RegKey() = default;
  // Creates the key when `access` asks to write (set value, create subkey or
  // create link), else opens it. With a null root only the registry view of
  // `access` is kept. Valid() tells whether a key is open.
  RegKey(HKEY root, const wchar_t* subkey, REGSAM access);
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey();

  // Both replace the held key only on success and return the system's
  // result code.
  LONG Create(HKEY root, const wchar_t* subkey, REGSAM access);
  LONG Open(HKEY root, const wchar_t* subkey, REGSAM access);

  // A 4-byte REG_DWORD or REG_BINARY value; ERROR_CANTREAD for any other
  // type or size. `out` is written only on success.
  LONG ReadValueDW(const wchar_t* name, DWORD* out) const;

  // A REG_SZ value up to its first NUL, or a REG_EXPAND_SZ value expanded.
  // Values above kMaxValueChars characters give ERROR_MORE_DATA, other types
  // ERROR_CANTREAD. `out` is written only on success.
  LONG ReadValue(const wchar_t* name, std::wstring* out) const;

  bool Valid() const { return key_ != nullptr; }
  HKEY Handle() const { return key_; }

  static constexpr DWORD kMaxValueChars = 1024;

 private:
  void Replace(HKEY key, REGSAM access);

  HKEY key_ = nullptr;
  // The registry view the key was opened in (KEY_WOW64_64KEY or
  // KEY_WOW64_32KEY), so that keys opened through it stay in that view.
  REGSAM view_bits_ = 0;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_REGISTRY_H_
