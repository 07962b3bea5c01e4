#include "desktop/windows/installer/service/registry_entry.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "base/files/test_folder_win.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {

namespace {

class TestKeyExpander : public VariableExpander {
 public:
  explicit TestKeyExpander(const string16& key) : key_(key) {}
  string16 Expand(const string16& name) override {
    return name == u"TestKey" ? key_ : name;
  }
  std::vector<InstallLogRegistryKey>* GetRegistryLog(
      RegistryRoot root) override {
    return root == HKEY_CURRENT_USER ? &log : nullptr;
  }

  std::vector<InstallLogRegistryKey> log;

 private:
  string16 key_;
};

}  // namespace

TEST(RegistryEntryWinTest, WritesAndRemovesThroughTransactions) {
  const std::wstring key = base::TestRegistryParent() + L"\\entry";
  TestKeyExpander expander(as_u16cstr(key.c_str()));
  const RegistryEntryRow rows[] = {
      {u"{TestKey}\\Sub", u"Name", REG_SZ,
       reinterpret_cast<uintptr_t>(u"text"), 0, nullptr, 0, 1},
      {u"{TestKey}\\Sub", u"Machine", REG_DWORD, 1, 0, HKEY_LOCAL_MACHINE, 0,
       1},
      {u"{TestKey}\\Gone", nullptr, kRowDeleteKey, 0, 0, nullptr, 0, 1},
  };

  Transaction transaction;
  for (const RegistryEntryRow& row : rows) {
    Operation* op = nullptr;
    ASSERT_TRUE(RegistryEntry(row, &expander)
                    .CreateOperation(HKEY_CURRENT_USER, &op));
    if (op) {
      ASSERT_TRUE(transaction.AddAndExecute(op));
    }
  }
  base::win::RegKey sub(HKEY_CURRENT_USER, (key + L"\\Sub").c_str(), KEY_READ);
  std::wstring text;
  EXPECT_EQ(ERROR_SUCCESS, sub.ReadValue(L"Name", &text));
  EXPECT_EQ(L"text", text);
  DWORD number = 0;
  EXPECT_NE(ERROR_SUCCESS, sub.ReadValueDW(L"Machine", &number));
  // Only the row that applied was recorded.
  ASSERT_EQ(1u, expander.log.size());
  EXPECT_EQ(1u, expander.log[0].values.size());

  transaction.Rollback();
  base::win::RegKey gone;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            gone.Open(HKEY_CURRENT_USER, key.c_str(), KEY_READ));
  ::SHDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace installer
