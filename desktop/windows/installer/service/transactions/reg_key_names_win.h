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

// Whether the caller holds |access| on the key |key| is open on, as the
// system answers an open of it through that handle.
bool KeyAllows(HKEY key, REGSAM access);

// Makes |name|, one level, below |parent| as itself (REG_OPTION_OPEN_LINK):
// a link standing there is opened as the link, never followed to make its
// target. |made| is false when something stood there already; |key| is
// then open on that, as itself. The one place keys are made.
LONG MakeKeyItself(HKEY parent, const std::wstring& name, DWORD options,
                   REGSAM access, HKEY* key, bool* made);

// Whether |standing| is open on |held|, or on the key a rollback of this
// transaction made again in its place.
bool IsHeldKey(HKEY standing, HKEY held);

// The last level of |key|, without separators.
std::wstring LeafKeyName(const std::wstring& key);

// The levels of |key| up to a NUL, empty ones dropped: "a\\b\\" names "b"
// below "a", and is no "a" with an empty level below.
std::vector<std::wstring> KeyLevels(const std::wstring& key);
// The first |count| of |levels| as a path.
std::wstring JoinLevels(const std::vector<std::wstring>& levels, size_t count);

// A rollback made |rebuilt| again in place of |deleted|, which it deleted:
// the access lists held for |deleted| now belong to |rebuilt|, and so does
// whatever another operation still holding |deleted| puts back. Both
// handles are duplicated and kept while anyone else holds |deleted|.
void NoteRebuiltKey(HKEY deleted, HKEY rebuilt);
// Lets go of the keys that nobody holds a deleted key for any more.
void ForgetUnheldRebuiltKeys();
// A handle on the key a rollback of this transaction made again in place
// of the one |key| is open on, duplicated with the access it was made
// with; null when there is none. A key anyone else made there is never it.
HKEY OpenRebuiltKey(HKEY key);
// |*key| replaced by the key OpenRebuiltKey gives for it, when there is one.
void FollowRebuiltKey(HKEY* key);

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
