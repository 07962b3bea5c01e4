#include "desktop/windows/installer/service/transactions/reg_key_names_win.h"

namespace installer {

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
