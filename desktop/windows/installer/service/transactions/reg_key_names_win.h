#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REG_KEY_NAMES_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REG_KEY_NAMES_WIN_H_

#include <windows.h>

#include <string>
#include <vector>

namespace installer {

// The key as a named security object: "CLASSES_ROOT\", "MACHINE\",
// "CURRENT_USER\" or "USERS\" and the path; other roots get no prefix.
std::wstring RegistryObjectName(HKEY root, const std::wstring& key);

// The path of the key above |key|; empty for a key right below the root.
std::wstring ParentKeyPath(const std::wstring& key);

// |call| made once more when it fails: a scanner holding the key or a short
// lack of resources fails a single call, and a rollback must not lose a
// value or a list to it. The last result.
template <typename Call>
long CallTwice(Call call) {
  const long result = call();
  return result == ERROR_SUCCESS ? result : call();
}

// A key handle closed at scope end.
struct ScopedKey {
  ScopedKey() = default;
  ~ScopedKey();
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  void Close();

  HKEY handle = nullptr;
};

// Opens |name| below |parent| itself: a link there is opened as the link,
// never as the key it points to.
LONG OpenKeyItself(HKEY parent, const std::wstring& name, REGSAM access,
                   HKEY* key);

// Whether the key |key| is open on (with KEY_QUERY_VALUE) is a link and
// whether it is volatile. ERROR_SUCCESS or the system's error.
LONG ReadKeyKind(HKEY key, bool* link, bool* is_volatile);

// The value of a link key that holds its target (REG_LINK).
extern const wchar_t kLinkValueName[];

// The target of the link |key| is open on (as itself, with
// KEY_QUERY_VALUE), as stored; empty when it holds none.
std::vector<BYTE> ReadLinkTarget(HKEY key);

// Deletes the key |key| is open on (with DELETE), a link as itself. The
// key must have no subkeys.
LONG DeleteOpenKey(HKEY key);

// Writes exactly |data| as the value: RegSetValueExW stores one more
// character of a string that lacks its terminator when a NUL follows the
// buffer, and reads past it to find out.
LONG SetValueExactly(HKEY key, const std::wstring& name, DWORD type,
                     const std::vector<BYTE>& data);

// The type and bytes of a value that could not be written back, for its
// error line, which then holds the only copy left.
std::string DescribeValueData(DWORD type, const std::vector<BYTE>& data);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REG_KEY_NAMES_WIN_H_
