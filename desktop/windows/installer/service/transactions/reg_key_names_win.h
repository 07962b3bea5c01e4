#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REG_KEY_NAMES_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REG_KEY_NAMES_WIN_H_

#include <windows.h>

#include <string>

namespace installer {

// The key as a named security object: "CLASSES_ROOT\", "MACHINE\",
// "CURRENT_USER\" or "USERS\" and the path; other roots get no prefix.
std::wstring RegistryObjectName(HKEY root, const std::wstring& key);

// The path of the key above |key|; empty for a key right below the root.
std::wstring ParentKeyPath(const std::wstring& key);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REG_KEY_NAMES_WIN_H_
