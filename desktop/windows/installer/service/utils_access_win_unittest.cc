#include "desktop/windows/installer/service/utils.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <string>

#include "base/files/test_folder_win.h"
#include "gtest/gtest.h"

namespace installer {

namespace {

// The key's access list in text form.
std::wstring DaclText(const std::wstring& object_name) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoW(const_cast<wchar_t*>(object_name.c_str()),
                              SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
    return L"<unreadable>";
  }
  wchar_t* text = nullptr;
  std::wstring result;
  if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    result = text;
    ::LocalFree(text);
  }
  ::LocalFree(descriptor);
  return result;
}

}  // namespace

TEST(AccessTest, GrantAndRestore) {
  const std::wstring key = base::TestRegistryParent() + L"\\access";
  HKEY handle = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            ::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr));
  ::RegCloseKey(handle);
  const std::wstring name = L"CURRENT_USER\\" + key;
  const std::wstring before = DaclText(name);

  std::unique_ptr<SavedAccess> saved;
  ASSERT_TRUE(GrantUserAccess(name, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY, false,
                              &saved));
  ASSERT_TRUE(saved);
  EXPECT_NE(before, DaclText(name));
  EXPECT_TRUE(HasAccess(name, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY));
  EXPECT_TRUE(RestoreAccess(&saved));
  EXPECT_FALSE(saved);
  EXPECT_EQ(before, DaclText(name));
  EXPECT_FALSE(RestoreAccess(&saved));

  // A permanent grant hands out nothing to undo.
  ASSERT_TRUE(GrantUserAccess(name, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY, true,
                              &saved));
  EXPECT_FALSE(saved);
  EXPECT_FALSE(HasAccess(name, SE_UNKNOWN_OBJECT_TYPE, KEY_READ));

  ::SHDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace installer
