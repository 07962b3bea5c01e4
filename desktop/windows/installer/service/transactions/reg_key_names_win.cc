#include "desktop/windows/installer/service/transactions/reg_key_names_win.h"

#include <winternl.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/synchronization/lock.h"

#include "desktop/windows/installer/service/utils.h"

extern "C" {
NTSTATUS NTAPI NtQueryKey(HANDLE key, int information_class, PVOID information,
                          ULONG length, PULONG result_length);
NTSTATUS NTAPI NtDeleteKey(HANDLE key);
NTSTATUS NTAPI NtOpenKey(PHANDLE key, ACCESS_MASK access,
                         POBJECT_ATTRIBUTES attributes);
}

namespace installer {

namespace {

// What NtQueryKey answers for KeyFlagsInformation.
constexpr int kKeyFlagsInformation = 5;
struct KeyFlagsInformation {
  ULONG wow64_flags;
  ULONG key_flags;
  ULONG control_flags;
};
constexpr ULONG kVolatileKey = 0x1;
constexpr ULONG kLinkKey = 0x2;
// What a system answers that does not know KeyFlagsInformation.
constexpr NTSTATUS kStatusInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);

// Whether |key|, open as itself, is a link, told without the key flags:
// opened by its native name the normal way, a link leads to another key or
// to none. A value alone proves nothing: any key may hold a REG_LINK.
LONG IsLinkByName(HKEY key, bool* link) {
  std::wstring name = NativeKeyName(key);
  if (name.empty())
    return ERROR_INVALID_DATA;
  UNICODE_STRING text;
  text.Buffer = &name[0];
  text.Length = text.MaximumLength =
      static_cast<USHORT>(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, nullptr,
                             nullptr);
  HANDLE followed = nullptr;
  const NTSTATUS status = NtOpenKey(&followed, KEY_QUERY_VALUE, &attributes);
  if (!NT_SUCCESS(status)) {
    const LONG error = static_cast<LONG>(::RtlNtStatusToDosError(status));
    // The key itself lets us read it: a refusal is another key's list.
    *link = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_ACCESS_DENIED;
    return *link ? ERROR_SUCCESS : error;
  }
  const std::wstring reached = NativeKeyName(static_cast<HKEY>(followed));
  ::RegCloseKey(static_cast<HKEY>(followed));
  if (reached.empty())
    return ERROR_INVALID_DATA;
  *link = ::CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()),
                                 reached.c_str(),
                                 static_cast<int>(reached.size()),
                                 TRUE) != CSTR_EQUAL;
  return ERROR_SUCCESS;
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

const wchar_t kLinkValueName[] = L"SymbolicLinkValue";

std::vector<BYTE> ReadLinkTarget(HKEY key) {
  std::vector<BYTE> target(2 * 32768);
  DWORD size = static_cast<DWORD>(target.size());
  DWORD type = REG_NONE;
  if (::RegQueryValueExW(key, kLinkValueName, nullptr, &type, target.data(),
                         &size) != ERROR_SUCCESS ||
      type != REG_LINK) {
    size = 0;
  }
  target.resize(size);
  return target;
}

ScopedKey::~ScopedKey() {
  Close();
}

void ScopedKey::Close() {
  if (handle)
    ::RegCloseKey(handle);
  handle = nullptr;
}

LONG OpenKeyItself(HKEY parent, const std::wstring& name, REGSAM access,
                   HKEY* key) {
  const LONG result = ::RegOpenKeyExW(parent, name.c_str(),
                                      REG_OPTION_OPEN_LINK, access, key);
  // Nothing to close after a failure, whatever the system left there.
  if (result != ERROR_SUCCESS)
    *key = nullptr;
  return result;
}

bool KeyAllows(HKEY key, REGSAM access) {
  ScopedKey again;
  return OpenKeyItself(key, L"", access, &again.handle) == ERROR_SUCCESS;
}

LONG MakeKeyItself(HKEY parent, const std::wstring& name, DWORD options,
                   REGSAM access, HKEY* key, bool* made) {
  *made = false;
  // One level only: a path would make the levels above it unseen.
  if (name.empty() || name.find(L'\\') != std::wstring::npos)
    return ERROR_INVALID_NAME;
  DWORD disposition = 0;
  const LONG result = ::RegCreateKeyExW(
      parent, name.c_str(), 0, nullptr, options | REG_OPTION_OPEN_LINK,
      access, nullptr, key, &disposition);
  *made = result == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
  return result;
}

std::wstring LeafKeyName(const std::wstring& key) {
  const size_t end = key.find_last_not_of(L'\\');
  if (end == std::wstring::npos)
    return std::wstring();
  const size_t separator = key.find_last_of(L'\\', end);
  const size_t begin = separator == std::wstring::npos ? 0 : separator + 1;
  return key.substr(begin, end + 1 - begin);
}

std::vector<std::wstring> KeyLevels(const std::wstring& key) {
  std::vector<std::wstring> levels;
  const std::wstring path = key.substr(0, key.find(L'\0'));
  for (size_t begin = 0; begin <= path.size();) {
    size_t end = path.find(L'\\', begin);
    if (end == std::wstring::npos)
      end = path.size();
    if (end > begin)
      levels.push_back(path.substr(begin, end - begin));
    begin = end + 1;
  }
  return levels;
}

std::wstring JoinLevels(const std::vector<std::wstring>& levels,
                        size_t count) {
  std::wstring path;
  for (size_t i = 0; i < count; ++i)
    path += (i ? L"\\" : L"") + levels[i];
  return path;
}

namespace {

struct RebuiltKey {
  HKEY deleted;
  HKEY rebuilt;
};

base::Lock& RebuiltKeysLock() {
  static base::Lock* lock = new base::Lock;
  return *lock;
}

std::vector<RebuiltKey>& RebuiltKeys() {
  static auto* keys = new std::vector<RebuiltKey>;
  return *keys;
}

// How many handles are open on the object |handle| is; 0 when unread.
ULONG HandleCount(HKEY handle) {
  struct BasicInformation {
    ULONG attributes;
    ACCESS_MASK granted_access;
    ULONG handle_count;
    ULONG pointer_count;
    ULONG reserved[10];
  } information = {};
  ULONG size = 0;
  return NT_SUCCESS(NtQueryObject(handle, ObjectBasicInformation,
                                  &information, sizeof(information), &size))
             ? information.handle_count
             : 0;
}

}  // namespace

void NoteRebuiltKey(HKEY deleted, HKEY rebuilt) {
  AdoptRebuiltKey(deleted, rebuilt);
  ForgetUnheldRebuiltKeys();
  RebuiltKey entry = {DuplicateKey(deleted), DuplicateKey(rebuilt)};
  if (!entry.deleted || !entry.rebuilt) {
    for (HKEY key : {entry.deleted, entry.rebuilt}) {
      if (key)
        ::RegCloseKey(key);
    }
    return;
  }
  base::AutoLock hold(RebuiltKeysLock());
  RebuiltKeys().push_back(entry);
}

void ForgetUnheldRebuiltKeys() {
  base::AutoLock hold(RebuiltKeysLock());
  std::vector<RebuiltKey>& keys = RebuiltKeys();
  // Dropping one entry may leave the key it rebuilt unheld in turn.
  for (bool dropped = true; dropped;) {
    dropped = false;
    for (auto it = keys.begin(); it != keys.end();) {
      if (HandleCount(it->deleted) != 1) {
        ++it;
        continue;
      }
      ::RegCloseKey(it->deleted);
      ::RegCloseKey(it->rebuilt);
      it = keys.erase(it);
      dropped = true;
    }
  }
}

HKEY OpenRebuiltKey(HKEY key) {
  base::AutoLock hold(RebuiltKeysLock());
  // A rebuilt key may have been deleted and made again in turn; each key
  // is made again once at most, so the chain ends.
  const std::vector<RebuiltKey>& keys = RebuiltKeys();
  HKEY found = nullptr;
  for (size_t step = 0; step < keys.size(); ++step) {
    auto next = std::find_if(keys.begin(), keys.end(), [&](const RebuiltKey& k) {
      return SameKey(k.deleted, found ? found : key);
    });
    if (next == keys.end())
      break;
    found = next->rebuilt;
  }
  return found ? DuplicateKey(found) : nullptr;
}

void FollowRebuiltKey(HKEY* key) {
  const HKEY rebuilt = OpenRebuiltKey(*key);
  if (!rebuilt)
    return;
  ::RegCloseKey(*key);
  *key = rebuilt;
}

bool IsHeldKey(HKEY standing, HKEY held) {
  if (SameKey(standing, held))
    return true;
  ScopedKey rebuilt;
  rebuilt.handle = OpenRebuiltKey(held);
  return SameKey(standing, rebuilt.handle);
}

LONG ReadKeyKind(HKEY key, bool* link, bool* is_volatile) {
  KeyFlagsInformation flags = {};
  ULONG size = 0;
  const NTSTATUS status =
      NtQueryKey(key, kKeyFlagsInformation, &flags, sizeof(flags), &size);
  if (status == kStatusInvalidInfoClass || status == kStatusInvalidParameter) {
    // A system that keeps no such flags; no key there is taken for
    // volatile.
    *is_volatile = false;
    return IsLinkByName(key, link);
  }
  if (!NT_SUCCESS(status))
    return static_cast<LONG>(::RtlNtStatusToDosError(status));
  *link = (flags.key_flags & kLinkKey) != 0;
  *is_volatile = (flags.key_flags & kVolatileKey) != 0;
  return ERROR_SUCCESS;
}

LONG DeleteOpenKey(HKEY key) {
  const NTSTATUS status = NtDeleteKey(key);
  return NT_SUCCESS(status)
             ? ERROR_SUCCESS
             : static_cast<LONG>(::RtlNtStatusToDosError(status));
}

LONG SetValueExactly(HKEY key, const std::wstring& name, DWORD type,
                     const std::vector<BYTE>& data) {
  std::vector<BYTE> guarded(data);
  // A character that is no NUL right after the data.
  if (IsStringType(type))
    guarded.insert(guarded.end(), {0xFF, 0xFF, 0xFF});
  return ::RegSetValueExW(key, name.c_str(), 0, type,
                          data.empty() ? nullptr : guarded.data(),
                          static_cast<DWORD>(data.size()));
}

std::wstring RegistryObjectName(HKEY root, const std::wstring& key) {
  std::wstring prefix;
  if (root == HKEY_CLASSES_ROOT)
    prefix = L"CLASSES_ROOT";
  else if (root == HKEY_LOCAL_MACHINE)
    prefix = L"MACHINE";
  else if (root == HKEY_CURRENT_USER)
    prefix = L"CURRENT_USER";
  else if (root == HKEY_USERS)
    prefix = L"USERS";
  if (key.empty())
    return prefix;
  return prefix.empty() ? key : prefix + L"\\" + key;
}

std::wstring ParentKeyPath(const std::wstring& key) {
  size_t end = key.find_last_not_of(L'\\');
  if (end == std::wstring::npos)
    return std::wstring();
  const size_t separator = key.find_last_of(L'\\', end);
  if (separator == std::wstring::npos)
    return std::wstring();
  end = key.find_last_not_of(L'\\', separator);
  return end == std::wstring::npos ? std::wstring() : key.substr(0, end + 1);
}

std::string DescribeValueData(DWORD type, const std::vector<BYTE>& data) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text = "type " + std::to_string(type) + ", " +
                     std::to_string(data.size()) + " bytes:";
  text.reserve(text.size() + data.size() * 2 + 1);
  text += ' ';
  for (BYTE byte : data) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

}  // namespace installer
