#include "testing/win/registry_rules.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <string>

#include "base/files/test_folder_win.h"
#include "base/win/registry.h"
#include "gtest/gtest.h"

namespace platform_rules {

namespace {

std::wstring DaclText(HKEY key) {
  BYTE descriptor[1024];
  DWORD size = sizeof(descriptor);
  wchar_t* text = nullptr;
  if (::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor,
                          &size) != ERROR_SUCCESS ||
      !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    return L"<unreadable>";
  }
  const std::wstring result = text;
  ::LocalFree(text);
  return result;
}

}  // namespace

TEST(RegistryRulesTest, KeyAccessListsAreEnforced) {
  // Below this process's own parent key: a shared parent deleted here could
  // vanish under another test process that is creating keys below it.
  const std::wstring base = base::TestRegistryParent() + L"\\rules";
  const std::wstring locked = base + L"\\locked";
  // Made through RegKey: a call of the import here would let the compiler
  // keep its address from before the rules for the calls below.
  // Everyone may read; nobody may write or create subkeys.
  PSECURITY_DESCRIPTOR read_only = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &read_only, nullptr));
  {
    base::win::RegKey setup;
    ASSERT_EQ(ERROR_SUCCESS,
              setup.Create(HKEY_CURRENT_USER, locked.c_str(), KEY_ALL_ACCESS));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(setup.Handle(),
                                                 DACL_SECURITY_INFORMATION,
                                                 read_only));
  }
  // Owned by the system: one lets nobody in, the other lets everyone read
  // it and take it over.
  const std::wstring sealed = base + L"\\sealed";
  const std::wstring system_owned = base + L"\\system_owned";
  const struct {
    const std::wstring* key;
    const wchar_t* sddl;
  } kOwned[] = {{&sealed, L"O:SYD:P(A;;WO;;;WD)"},
                {&system_owned, L"O:SYD:P(A;;KR;;;WD)(A;;WO;;;WD)"}};
  for (const auto& owned : kOwned) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        owned.sddl, SDDL_REVISION_1, &descriptor, nullptr));
    base::win::RegKey setup;
    ASSERT_EQ(ERROR_SUCCESS, setup.Create(HKEY_CURRENT_USER,
                                          owned.key->c_str(), KEY_ALL_ACCESS));
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegSetKeySecurity(setup.Handle(),
                                  OWNER_SECURITY_INFORMATION |
                                      DACL_SECURITY_INFORMATION,
                                  descriptor));
    ::LocalFree(descriptor);
  }
  HKEY key = nullptr;
  {
    ScopedWindowsRegistryAccessRules rules;
    // Not even readable: no key is made below it.
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, (sealed + L"\\a").c_str(),
                                0, nullptr, 0, KEY_READ, nullptr, &key,
                                nullptr));
    // Only SeRestorePrivilege lets anyone but the caller become the owner;
    // a change of the owner alone leaves the list protected.
    PSID administrators = nullptr;
    PSID system = nullptr;
    ASSERT_TRUE(::ConvertStringSidToSidW(L"BA", &administrators));
    ASSERT_TRUE(::ConvertStringSidToSidW(L"SY", &system));
    std::wstring name = L"CURRENT_USER\\" + system_owned;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_OWNER),
              ::SetNamedSecurityInfoW(&name[0], SE_REGISTRY_KEY,
                                      OWNER_SECURITY_INFORMATION, system,
                                      nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ::SetNamedSecurityInfoW(&name[0], SE_REGISTRY_KEY,
                                      OWNER_SECURITY_INFORMATION,
                                      administrators, nullptr, nullptr,
                                      nullptr));
    ::LocalFree(administrators);
    ::LocalFree(system);
    base::win::RegKey owned;
    ASSERT_EQ(ERROR_SUCCESS, owned.Open(HKEY_CURRENT_USER,
                                        system_owned.c_str(), READ_CONTROL));
    EXPECT_EQ(L"D:P(A;;KR;;;WD)(A;;WO;;;WD)", DaclText(owned.Handle()));

    const std::wstring child = locked + L"\\child\\grandchild";
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, child.c_str(), 0, nullptr,
                                0, KEY_READ, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0,
                              KEY_SET_VALUE, &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0, nullptr,
                                0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(4, rules.refused());
    // The owner may still read and change the access list.
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0,
                              KEY_READ | WRITE_DAC, &key));
    ::RegCloseKey(key);

    // A new key takes the list of its security attributes, and its
    // creator may use the handle all the same.
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), read_only, FALSE};
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\new").c_str(),
                                0, nullptr, 0, KEY_ALL_ACCESS, &attributes,
                                &key, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    EXPECT_EQ(L"D:P(A;;KR;;;WD)", DaclText(key));
    ::RegCloseKey(key);
    EXPECT_EQ(4, rules.refused());
  }
  ::LocalFree(read_only);
  // Taken over, so that they can go.
  PSECURITY_DESCRIPTOR open_to_all = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"O:BAD:(A;;KA;;;WD)", SDDL_REVISION_1, &open_to_all, nullptr));
  for (const auto& owned : kOwned) {
    for (const SECURITY_INFORMATION what :
         {OWNER_SECURITY_INFORMATION, DACL_SECURITY_INFORMATION}) {
      base::win::RegKey taken;
      ASSERT_EQ(ERROR_SUCCESS,
                taken.Open(HKEY_CURRENT_USER, owned.key->c_str(),
                           what == OWNER_SECURITY_INFORMATION ? WRITE_OWNER
                                                              : WRITE_DAC));
      EXPECT_EQ(ERROR_SUCCESS,
                ::RegSetKeySecurity(taken.Handle(), what, open_to_all));
    }
  }
  ::LocalFree(open_to_all);
  ::SHDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
}

}  // namespace platform_rules
