#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "base/files/test_folder_win.h"
#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"
#include "testing/win/registry_rules.h"

namespace installer {

namespace {

constexpr DWORD kMissing = 0xFFFFFFFF;

struct Value {
  DWORD type = kMissing;
  std::vector<BYTE> data;
};

std::vector<BYTE> Bytes(const void* data, size_t size) {
  const BYTE* begin = static_cast<const BYTE*>(data);
  return std::vector<BYTE>(begin, begin + size);
}

std::vector<BYTE> StringBytes(const wchar_t* text) {
  return Bytes(text, (wcslen(text) + 1) * sizeof(wchar_t));
}

// A key of its own under this process's scratch parent for each test,
// deleted with everything below it at the end. Key access lists are checked
// as on Windows throughout.
class RegistryOperationsTest : public testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    base_ = base::TestRegistryParent() + L"\\ops_" + std::to_wstring(++counter);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr,
                                0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ::RegCloseKey(key);
  }

  void TearDown() override {
    ::SHDeleteKeyW(HKEY_CURRENT_USER, base_.c_str());
  }

  std::wstring Key(const wchar_t* relative) const {
    return base_ + L"\\" + relative;
  }

  bool KeyExists(const std::wstring& key) const {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ,
                        &handle) != ERROR_SUCCESS) {
      return false;
    }
    ::RegCloseKey(handle);
    return true;
  }

  Value Read(const std::wstring& key, const wchar_t* name) const {
    Value value;
    DWORD size = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name,
                       RRF_RT_ANY | RRF_NOEXPAND, &value.type, nullptr,
                       &size) != ERROR_SUCCESS) {
      value.type = kMissing;
      return value;
    }
    value.data.resize(size);
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name,
                             RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                             size ? value.data.data() : nullptr, &size));
    value.data.resize(size);
    return value;
  }

  void Write(const std::wstring& key, const wchar_t* name, DWORD type,
             const std::vector<BYTE>& data) {
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &handle, nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueExW(handle, name, 0, type,
                               data.empty() ? nullptr : data.data(),
                               static_cast<DWORD>(data.size())));
    ::RegCloseKey(handle);
  }

  // The key's access list, its entries only: Wine forgets that a list is
  // protected from inheritance when it is set by name (Windows keeps it).
  std::vector<BYTE> Dacl(const std::wstring& key) const {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, READ_CONTROL,
                        &handle) != ERROR_SUCCESS) {
      return {};
    }
    BYTE descriptor[4096];
    DWORD size = sizeof(descriptor);
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    const bool read = ::RegGetKeySecurity(handle, DACL_SECURITY_INFORMATION,
                                          descriptor, &size) == ERROR_SUCCESS &&
                      ::GetSecurityDescriptorDacl(descriptor, &present, &dacl,
                                                  &defaulted) &&
                      present && dacl;
    ::RegCloseKey(handle);
    return read ? Bytes(dacl, dacl->AclSize) : std::vector<BYTE>();
  }

  void SetDacl(const std::wstring& key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl, SDDL_REVISION_1, &descriptor, nullptr));
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(),
                                             0, WRITE_DAC, &handle));
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(
                                 handle, DACL_SECURITY_INFORMATION, descriptor));
    ::RegCloseKey(handle);
    ::LocalFree(descriptor);
  }

  Operation* SetString(const std::wstring& key, const wchar_t* name,
                       const wchar_t* text) {
    const std::vector<BYTE> data = StringBytes(text);
    return new ChangeRegValueOperation(HKEY_CURRENT_USER, key, name,
                                       data.data(), REG_SZ,
                                       static_cast<DWORD>(data.size()));
  }

  Operation* Remove(const std::wstring& key, const wchar_t* name) {
    return new ChangeRegValueOperation(HKEY_CURRENT_USER, key, name, nullptr,
                                       ChangeRegValueOperation::kRemoveValue,
                                       0);
  }

  platform_rules::ScopedWindowsRegistryAccessRules rules_;
  std::wstring base_;
};

}  // namespace

TEST_F(RegistryOperationsTest, ValueInMissingKeyRemovesTheBranchOnRollback) {
  const std::wstring key = Key(L"a\\b\\c");
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"name", L"text")));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), Read(key, L"name").type);
    EXPECT_EQ(StringBytes(L"text"), Read(key, L"name").data);
    transaction.Rollback();
  }
  EXPECT_FALSE(KeyExists(Key(L"a")));
  EXPECT_TRUE(KeyExists(base_));

  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"", L"default")));
  }
  EXPECT_EQ(StringBytes(L"default"), Read(key, nullptr).data);
}

TEST_F(RegistryOperationsTest, RollbackRestoresTypeAndBytes) {
  const std::wstring key = Key(L"k");
  const std::vector<BYTE> binary = {0x00, 0x01, 0xFF};
  Write(key, L"string", REG_SZ, StringBytes(L"old"));
  Write(key, L"binary", REG_BINARY, binary);
  Write(key, L"empty", REG_NONE, {});
  const DWORD number = 0x1234;
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(new ChangeRegValueOperation(
        HKEY_CURRENT_USER, key, L"string", &number, REG_DWORD, 4)));
    ASSERT_TRUE(transaction.AddAndExecute(Remove(key, L"binary")));
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"empty", L"x")));
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"new", L"n")));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), Read(key, L"string").type);
    EXPECT_EQ(kMissing, Read(key, L"binary").type);
    transaction.Rollback();
  }
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), Read(key, L"string").type);
  EXPECT_EQ(StringBytes(L"old"), Read(key, L"string").data);
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), Read(key, L"binary").type);
  EXPECT_EQ(binary, Read(key, L"binary").data);
  EXPECT_EQ(static_cast<DWORD>(REG_NONE), Read(key, L"empty").type);
  EXPECT_TRUE(Read(key, L"empty").data.empty());
  EXPECT_EQ(kMissing, Read(key, L"new").type);

  // The key deleted after its value changed: the value's rollback meets the
  // rebuilt key, not the deleted one its handle was opened on.
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"string", L"new")));
    ASSERT_TRUE(transaction.AddAndExecute(Remove(key, L"binary")));
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"added", L"a")));
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, key)));
    transaction.Rollback();
  }
  EXPECT_EQ(StringBytes(L"old"), Read(key, L"string").data);
  EXPECT_EQ(binary, Read(key, L"binary").data);
  EXPECT_EQ(kMissing, Read(key, L"added").type);

  // Committed changes stay.
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(Remove(key, L"binary")));
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"string", L"new")));
  }
  EXPECT_EQ(kMissing, Read(key, L"binary").type);
  EXPECT_EQ(StringBytes(L"new"), Read(key, L"string").data);
}

TEST_F(RegistryOperationsTest, RemovingWhatIsAbsentDoesNothing) {
  Transaction transaction;
  EXPECT_TRUE(transaction.AddAndExecute(Remove(Key(L"missing"), L"v")));
  EXPECT_FALSE(KeyExists(Key(L"missing")));
  EXPECT_TRUE(transaction.AddAndExecute(Remove(base_, L"missing")));
  EXPECT_TRUE(transaction.AddAndExecute(
      new CreateRegKeyOperation(HKEY_CURRENT_USER, base_)));
  EXPECT_TRUE(transaction.AddAndExecute(
      new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"missing"))));
  transaction.Rollback();
  EXPECT_TRUE(KeyExists(base_));
  EXPECT_FALSE(KeyExists(Key(L"missing")));
}

TEST_F(RegistryOperationsTest, CreateKeyRollsBackOnlyItsOwnLevels) {
  Write(Key(L"a"), L"keep", REG_SZ, StringBytes(L"keep"));
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new CreateRegKeyOperation(HKEY_CURRENT_USER, Key(L"a\\b\\c"))));
    EXPECT_TRUE(KeyExists(Key(L"a\\b\\c")));
    Write(Key(L"a\\b\\c\\d"), L"later", REG_SZ, StringBytes(L"later"));
    transaction.Rollback();
  }
  EXPECT_FALSE(KeyExists(Key(L"a\\b")));
  EXPECT_EQ(StringBytes(L"keep"), Read(Key(L"a"), L"keep").data);

  // Only an open that succeeds (or is denied) shows that the key is there.
  {
    platform_rules::ScopedFaultInjection fault(1, ERROR_OUTOFMEMORY,
                                               "RegOpenKeyExW");
    Transaction transaction;
    EXPECT_FALSE(transaction.AddAndExecute(
        new CreateRegKeyOperation(HKEY_CURRENT_USER, Key(L"a\\b"))));
    EXPECT_EQ("RegOpenKeyExW", fault.failed_function());
  }
  EXPECT_FALSE(KeyExists(Key(L"a\\b")));
}

TEST_F(RegistryOperationsTest, DeleteKeyTreeComesBackWhole) {
  const DWORD number = 7;
  Write(Key(L"tree"), L"one", REG_SZ, StringBytes(L"1"));
  Write(Key(L"tree"), L"", REG_EXPAND_SZ, StringBytes(L"%TEMP%"));
  Write(Key(L"tree\\sub"), L"two", REG_DWORD, Bytes(&number, 4));
  Write(Key(L"tree\\sub\\deeper\\deepest"), L"three", REG_BINARY, {});
  Write(Key(L"tree\\other"), L"four", REG_MULTI_SZ,
        Bytes(L"a\0b\0", 5 * sizeof(wchar_t)));
  // Everyone may read and only the system may write or make subkeys.
  SetDacl(Key(L"tree\\sub"), L"D:P(A;;KR;;;WD)(A;;KA;;;SY)");
  const std::vector<BYTE> dacl = Dacl(Key(L"tree\\sub"));
  ASSERT_FALSE(dacl.empty());
  ASSERT_NE(dacl, Dacl(Key(L"tree")));
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"tree"))));
    EXPECT_FALSE(KeyExists(Key(L"tree")));
    transaction.Rollback();
  }
  EXPECT_EQ(StringBytes(L"1"), Read(Key(L"tree"), L"one").data);
  EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), Read(Key(L"tree"), L"").type);
  EXPECT_EQ(StringBytes(L"%TEMP%"), Read(Key(L"tree"), L"").data);
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), Read(Key(L"tree\\sub"), L"two").type);
  EXPECT_EQ(Bytes(&number, 4), Read(Key(L"tree\\sub"), L"two").data);
  EXPECT_EQ(dacl, Dacl(Key(L"tree\\sub")));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY),
            Read(Key(L"tree\\sub\\deeper\\deepest"), L"three").type);
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ),
            Read(Key(L"tree\\other"), L"four").type);
  EXPECT_EQ(Bytes(L"a\0b\0", 5 * sizeof(wchar_t)),
            Read(Key(L"tree\\other"), L"four").data);

  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"tree"))));
  }
  EXPECT_FALSE(KeyExists(Key(L"tree")));
  EXPECT_TRUE(KeyExists(base_));
}

// A rebuilt key gets its saved group back, not its creator's.
TEST_F(RegistryOperationsTest, DeleteKeyTreeGivesTheGroupBack) {
  const std::wstring key = Key(L"grouped\\sub");
  Write(key, L"v", REG_SZ, StringBytes(L"1"));
  auto group = [](const std::wstring& name) {
    std::wstring text;
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, READ_CONTROL,
                        &handle) != ERROR_SUCCESS) {
      return text;
    }
    BYTE descriptor[4096];
    DWORD size = sizeof(descriptor);
    PSID sid = nullptr;
    BOOL defaulted = FALSE;
    wchar_t* sid_text = nullptr;
    if (::RegGetKeySecurity(handle, GROUP_SECURITY_INFORMATION, descriptor,
                            &size) == ERROR_SUCCESS &&
        ::GetSecurityDescriptorGroup(descriptor, &sid, &defaulted) && sid &&
        ::ConvertSidToStringSidW(sid, &sid_text)) {
      text = sid_text;
      ::LocalFree(sid_text);
    }
    ::RegCloseKey(handle);
    return text;
  };
  PSECURITY_DESCRIPTOR everyone = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"G:WD", SDDL_REVISION_1, &everyone, nullptr));
  HKEY handle = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0,
                                           WRITE_OWNER, &handle));
  EXPECT_EQ(ERROR_SUCCESS,
            ::RegSetKeySecurity(handle, GROUP_SECURITY_INFORMATION, everyone));
  ::RegCloseKey(handle);
  ::LocalFree(everyone);
  ASSERT_EQ(L"S-1-1-0", group(key));
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"grouped"))));
    transaction.Rollback();
  }
  EXPECT_EQ(L"S-1-1-0", group(key));
}

// Two operations widen access on one key: whatever order commit or rollback
// undoes them in, the key ends with the access list it had.
TEST_F(RegistryOperationsTest, WidenedAccessIsPutBackExactly) {
  const std::wstring key = Key(L"progid");
  Write(key, L"", REG_SZ, StringBytes(L"old"));
  // Everyone may read; nobody may write or make subkeys.
  SetDacl(key, L"D:P(A;OICI;KR;;;WD)");
  const std::vector<BYTE> dacl = Dacl(key);
  for (bool commit : {false, true}) {
    {
      Transaction transaction;
      ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"", L"new")));
      ASSERT_TRUE(transaction.AddAndExecute(
          new CreateRegKeyOperation(HKEY_CURRENT_USER, key + L"\\shell")));
      EXPECT_NE(dacl, Dacl(key));
      if (!commit)
        transaction.Rollback();
    }
    EXPECT_EQ(dacl, Dacl(key)) << (commit ? "commit" : "rollback");
    EXPECT_EQ(commit, KeyExists(key + L"\\shell"));
    EXPECT_EQ(StringBytes(commit ? L"new" : L"old"), Read(key, L"").data);
  }
}

TEST_F(RegistryOperationsTest, DeleteKeyRefusesTheRoot) {
  Transaction transaction;
  EXPECT_FALSE(transaction.AddAndExecute(
      new DeleteRegKeyOperation(HKEY_CURRENT_USER, L"")));
  EXPECT_FALSE(transaction.AddAndExecute(
      new DeleteRegKeyOperation(HKEY_CURRENT_USER, L"\\")));
  EXPECT_TRUE(KeyExists(base_));
}

}  // namespace installer
