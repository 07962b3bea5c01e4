#include "desktop/windows/installer/service/transactions/reg_key_names_win.h"

#include <winternl.h>

extern "C" {
NTSTATUS NTAPI NtQueryKey(HANDLE key, int information_class, PVOID information,
                          ULONG length, PULONG result_length);
NTSTATUS NTAPI NtDeleteKey(HANDLE key);
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

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

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
  return ::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, access,
                         key);
}

LONG ReadKeyKind(HKEY key, bool* link, bool* is_volatile) {
  KeyFlagsInformation flags = {};
  ULONG size = 0;
  const NTSTATUS status =
      NtQueryKey(key, kKeyFlagsInformation, &flags, sizeof(flags), &size);
  if (status == kStatusInvalidInfoClass || status == kStatusInvalidParameter) {
    // A system that keeps no such flags: a link still holds its target as
    // SymbolicLinkValue; no key there is taken for volatile.
    DWORD type = REG_NONE;
    *link = ::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type,
                               nullptr, nullptr) == ERROR_SUCCESS &&
            type == REG_LINK;
    *is_volatile = false;
    return ERROR_SUCCESS;
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
