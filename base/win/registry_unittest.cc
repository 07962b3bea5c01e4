#include "base/win/registry.h"

#include <windows.h>

#include <string>

#include "base/files/test_folder_win.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// Works below a key of its own under this process's scratch parent, removed
// afterwards.
class RegKeyTest : public testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    path_ = TestRegistryParent() + L"\\registry_" + std::to_wstring(++counter);
    ASSERT_EQ(ERROR_SUCCESS, key_.Create(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS));
  }
  void TearDown() override {
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()));
    RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
  }
  void Write(const wchar_t* name, DWORD type, const void* data, size_t size) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key_.Handle(), name, 0, type,
                                            static_cast<const BYTE*>(data), DWORD(size)));
  }
  void WriteText(const wchar_t* name, DWORD type, const std::wstring& text) {
    Write(name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  }

  std::wstring path_;
  RegKey key_;
};

TEST_F(RegKeyTest, OpensCreatesAndReplacesOnlyOnSuccess) {
  const std::wstring child = path_ + L"\\child";
  EXPECT_FALSE(RegKey(HKEY_CURRENT_USER, child.c_str(), KEY_READ).Valid());
  EXPECT_FALSE(RegKey(nullptr, child.c_str(), KEY_WRITE).Valid());
  EXPECT_TRUE(RegKey(HKEY_CURRENT_USER, child.c_str(), KEY_WRITE).Valid());  // creates
  EXPECT_TRUE(RegKey(HKEY_CURRENT_USER, child.c_str(), KEY_READ).Valid());

  RegKey key(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS);
  const HKEY held = key.Handle();
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_CURRENT_USER, (path_ + L"\\no").c_str(), KEY_READ));
  EXPECT_NE(ERROR_SUCCESS, key.Create(nullptr, L"x", KEY_ALL_ACCESS));
  EXPECT_EQ(held, key.Handle());
  // The held key may serve as the root of the key that replaces it.
  EXPECT_EQ(ERROR_SUCCESS, key.Open(key.Handle(), L"child", KEY_READ));
  EXPECT_TRUE(key.Valid());
}

TEST_F(RegKeyTest, ReadValueDWAcceptsOnlyFourByteNumbers) {
  const DWORD number = 0x12345678;
  const BYTE bytes[4] = {1, 2, 3, 4};
  const ULONGLONG wide = 7;
  Write(L"dword", REG_DWORD, &number, 4);
  Write(L"binary4", REG_BINARY, bytes, 4);
  Write(L"binary2", REG_BINARY, bytes, 2);
  Write(L"qword", REG_QWORD, &wide, 8);
  Write(L"text", REG_SZ, L"a", 4);

  DWORD out = 0;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValueDW(L"dword", &out));
  EXPECT_EQ(number, out);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValueDW(L"binary4", &out));
  EXPECT_EQ(0x04030201u, out);
  out = 99;
  EXPECT_EQ(ERROR_CANTREAD, key_.ReadValueDW(L"binary2", &out));
  EXPECT_EQ(ERROR_MORE_DATA, key_.ReadValueDW(L"qword", &out));
  EXPECT_EQ(ERROR_CANTREAD, key_.ReadValueDW(L"text", &out));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.ReadValueDW(L"absent", &out));
  EXPECT_EQ(99u, out);
}

TEST_F(RegKeyTest, ReadValueBoundsTextByItsStoredSize) {
  const std::wstring full(RegKey::kMaxValueChars, L'f');
  // Not followed by a NUL: the registry would count that one in.
  const std::wstring longer = full + L'f';
  const DWORD number = 1;
  WriteText(L"plain", REG_SZ, L"hello");
  Write(L"embedded", REG_SZ, L"ab\0cd", 12);
  Write(L"odd", REG_SZ, L"abc", 5);  // unterminated, half a character at the end
  Write(L"full", REG_SZ, longer.data(), full.size() * sizeof(wchar_t));
  Write(L"full_expand", REG_EXPAND_SZ, longer.data(), full.size() * sizeof(wchar_t));
  WriteText(L"long", REG_SZ, full);
  Write(L"number", REG_DWORD, &number, 4);
  ASSERT_TRUE(SetEnvironmentVariableW(L"PALVO_REG_TEST", L"expanded"));
  ASSERT_TRUE(SetEnvironmentVariableW(L"PALVO_REG_BIG", std::wstring(800, L'b').c_str()));
  WriteText(L"expand", REG_EXPAND_SZ, L"x%PALVO_REG_TEST%y");
  WriteText(L"long_expansion", REG_EXPAND_SZ, L"%PALVO_REG_BIG%%PALVO_REG_BIG%");

  std::wstring out;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"plain", &out));
  EXPECT_EQ(L"hello", out);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"embedded", &out));
  EXPECT_EQ(L"ab", out);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"odd", &out));
  EXPECT_EQ(L"ab", out);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"expand", &out));
  EXPECT_EQ(L"xexpandedy", out);
  // Text that fills the buffer exactly, unterminated, is read whole.
  out.clear();
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"full", &out));
  EXPECT_EQ(full, out);

  out = L"untouched";
  EXPECT_EQ(ERROR_MORE_DATA, key_.ReadValue(L"full_expand", &out));  // no room for the NUL
  EXPECT_EQ(ERROR_MORE_DATA, key_.ReadValue(L"long", &out));
  EXPECT_EQ(ERROR_MORE_DATA, key_.ReadValue(L"long_expansion", &out));
  EXPECT_EQ(ERROR_CANTREAD, key_.ReadValue(L"number", &out));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.ReadValue(L"absent", &out));
  EXPECT_EQ(L"untouched", out);
  SetEnvironmentVariableW(L"PALVO_REG_TEST", nullptr);
  SetEnvironmentVariableW(L"PALVO_REG_BIG", nullptr);
}

}  // namespace
}  // namespace win
}  // namespace base
