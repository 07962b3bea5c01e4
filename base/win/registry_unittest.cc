#include "base/win/registry.h"

#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// Each test works below its own key under HKCU\Software\PalvoTest, unique
// per process so that parallel test shards do not meet, removed afterwards.
class RegKeyTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = L"Software\\PalvoTest\\registry_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(GetTickCount64());
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
  }

  void TearDown() override {
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()));
    RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
    // Removed only once no other test process still uses it.
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\PalvoTest");
  }

  std::wstring Sub(const wchar_t* name) const { return path_ + L"\\" + name; }

  void Write(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_SET_VALUE,
                                           &key));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
  }

  void WriteText(const wchar_t* name, DWORD type, const std::wstring& text) {
    Write(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  std::wstring path_;
};

TEST_F(RegKeyTest, ConstructorOpensForReadingAndCreatesForWriting) {
  const std::wstring child = Sub(L"child");
  {
    RegKey missing(HKEY_CURRENT_USER, child.c_str(), KEY_READ);
    EXPECT_FALSE(missing.Valid());
    EXPECT_EQ(nullptr, missing.Handle());
  }
  {
    // KEY_WRITE carries KEY_SET_VALUE, so the key is created.
    RegKey created(HKEY_CURRENT_USER, child.c_str(), KEY_WRITE);
    EXPECT_TRUE(created.Valid());
  }
  RegKey opened(HKEY_CURRENT_USER, child.c_str(), KEY_READ);
  EXPECT_TRUE(opened.Valid());

  RegKey no_root(nullptr, child.c_str(), KEY_WRITE | KEY_WOW64_64KEY);
  EXPECT_FALSE(no_root.Valid());
  RegKey empty;
  EXPECT_FALSE(empty.Valid());
}

TEST_F(RegKeyTest, FailedOpenKeepsTheHeldKeyAndTheKeyMayRootItsReplacement) {
  RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS));
  const HKEY held = key.Handle();
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_CURRENT_USER, Sub(L"absent").c_str(), KEY_READ));
  EXPECT_EQ(held, key.Handle());
  EXPECT_NE(ERROR_SUCCESS, key.Create(nullptr, L"x", KEY_ALL_ACCESS));
  EXPECT_EQ(held, key.Handle());

  ASSERT_EQ(ERROR_SUCCESS, key.Create(key.Handle(), L"inner", KEY_ALL_ACCESS));
  ASSERT_EQ(ERROR_SUCCESS, key.Open(key.Handle(), nullptr, KEY_READ));
  EXPECT_TRUE(key.Valid());
  RegKey check(HKEY_CURRENT_USER, Sub(L"inner").c_str(), KEY_READ);
  EXPECT_TRUE(check.Valid());
}

TEST_F(RegKeyTest, ReadValueDWAcceptsOnlyFourByteNumbers) {
  const DWORD number = 0x12345678;
  const BYTE four[4] = {1, 2, 3, 4};
  const BYTE two[2] = {1, 2};
  const ULONGLONG wide = 7;
  Write(L"dword", REG_DWORD, &number, sizeof(number));
  Write(L"binary4", REG_BINARY, four, sizeof(four));
  Write(L"binary2", REG_BINARY, two, sizeof(two));
  Write(L"qword", REG_QWORD, &wide, sizeof(wide));
  Write(L"text", REG_SZ, L"a", 2 * sizeof(wchar_t));  // 4 bytes, wrong type

  RegKey key(HKEY_CURRENT_USER, path_.c_str(), KEY_READ);
  ASSERT_TRUE(key.Valid());
  DWORD out = 0;
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValueDW(L"dword", &out));
  EXPECT_EQ(number, out);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValueDW(L"binary4", &out));
  EXPECT_EQ(0x04030201u, out);

  out = 99;
  EXPECT_EQ(ERROR_CANTREAD, key.ReadValueDW(L"binary2", &out));
  EXPECT_EQ(ERROR_MORE_DATA, key.ReadValueDW(L"qword", &out));
  EXPECT_EQ(ERROR_CANTREAD, key.ReadValueDW(L"text", &out));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadValueDW(L"absent", &out));
  EXPECT_EQ(99u, out);
}

TEST_F(RegKeyTest, ReadValueReadsTextAndExpandsIt) {
  WriteText(L"plain", REG_SZ, L"hello");
  Write(L"embedded", REG_SZ, L"ab\0cd", 6 * sizeof(wchar_t));
  Write(L"empty", REG_SZ, L"", 0);
  ASSERT_TRUE(SetEnvironmentVariableW(L"PALVO_REGISTRY_TEST", L"expanded"));
  WriteText(L"expand", REG_EXPAND_SZ, L"x%PALVO_REGISTRY_TEST%y");

  RegKey key(HKEY_CURRENT_USER, path_.c_str(), KEY_READ);
  std::wstring out;
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"plain", &out));
  EXPECT_EQ(L"hello", out);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"embedded", &out));
  EXPECT_EQ(L"ab", out);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"empty", &out));
  EXPECT_EQ(L"", out);
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"expand", &out));
  EXPECT_EQ(L"xexpandedy", out);
  SetEnvironmentVariableW(L"PALVO_REGISTRY_TEST", nullptr);
}

TEST_F(RegKeyTest, ReadValueBoundsUnterminatedAndOversizedValues) {
  // Unterminated text, odd byte counts and a value filling the whole read
  // buffer without a NUL must not be read past their stored size.
  Write(L"odd", REG_SZ, L"abc", 5);
  const std::wstring full(RegKey::kMaxValueChars, L'f');
  Write(L"full", REG_SZ, full.data(), static_cast<DWORD>(full.size() * sizeof(wchar_t)));
  Write(L"full_expand", REG_EXPAND_SZ, full.data(),
        static_cast<DWORD>(full.size() * sizeof(wchar_t)));
  WriteText(L"long", REG_SZ, std::wstring(RegKey::kMaxValueChars, L'l'));
  ASSERT_TRUE(SetEnvironmentVariableW(L"PALVO_REGISTRY_BIG", std::wstring(800, L'b').c_str()));
  WriteText(L"long_expansion", REG_EXPAND_SZ, L"%PALVO_REGISTRY_BIG%%PALVO_REGISTRY_BIG%");
  const DWORD number = 1;
  Write(L"number", REG_DWORD, &number, sizeof(number));

  RegKey key(HKEY_CURRENT_USER, path_.c_str(), KEY_READ);
  std::wstring out;
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(L"odd", &out));
  EXPECT_EQ(L"ab", out);
  // Windows hands over a value that fills the buffer exactly; Wine keeps
  // room for the NUL it adds to unterminated text and asks for more.
  out.clear();
  const LONG full_result = key.ReadValue(L"full", &out);
  if (full_result == ERROR_SUCCESS)
    EXPECT_EQ(full, out);
  else
    EXPECT_EQ(ERROR_MORE_DATA, full_result);

  out = L"untouched";
  // The expansion needs one more character for its NUL than it has.
  EXPECT_EQ(ERROR_MORE_DATA, key.ReadValue(L"full_expand", &out));
  EXPECT_EQ(ERROR_MORE_DATA, key.ReadValue(L"long", &out));
  EXPECT_EQ(ERROR_MORE_DATA, key.ReadValue(L"long_expansion", &out));
  EXPECT_EQ(ERROR_CANTREAD, key.ReadValue(L"number", &out));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadValue(L"absent", &out));
  EXPECT_EQ(L"untouched", out);
  SetEnvironmentVariableW(L"PALVO_REGISTRY_BIG", nullptr);
}

TEST(RegKeyNoKeyTest, ReadsOnAnEmptyKeyFail) {
  RegKey key;
  DWORD number = 5;
  std::wstring text = L"kept";
  EXPECT_NE(ERROR_SUCCESS, key.ReadValueDW(L"x", &number));
  EXPECT_NE(ERROR_SUCCESS, key.ReadValue(L"x", &text));
  EXPECT_EQ(5u, number);
  EXPECT_EQ(L"kept", text);
}

}  // namespace
}  // namespace win
}  // namespace base
