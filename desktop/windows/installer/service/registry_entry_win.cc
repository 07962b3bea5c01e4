#include "desktop/windows/installer/service/registry_entry.h"

#include <windows.h>

#include "base/channel.h"
#include "base/logging.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"

namespace installer {

bool RegistryEntry::CreateOperation(RegistryRoot root, Operation** op) {
  *op = nullptr;
  Change change;
  if (!BuildChange(root, base::win::GetVersion(), base::GetChannel(), &change))
    return false;
  if (!change.applies)
    return true;

  const std::wstring key(as_wcstr(change.key));
  if (change.delete_key) {
    *op = new DeleteRegKeyOperation(root, key);
    return true;
  }
  *op = new ChangeRegValueOperation(
      root, key, std::wstring(as_wcstr(change.value_name)),
      change.data.empty() ? nullptr : change.data.data(), change.type,
      static_cast<DWORD>(change.data.size()));
  RecordChange(root, change);
  return true;
}

}  // namespace installer
