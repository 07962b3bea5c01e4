#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/allocator/allocator_shim.h"
#include "base/files/test_folder_win.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_log_capture_testsupport.h"
#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/reg_key_names_win.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/service/utils.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"
#include "testing/win/registry_rules.h"

namespace installer {

namespace {

struct Value {
  bool exists = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// Every ERROR line logged while alive, in |text|.
class ScopedErrorLog : public base::ScopedLogCapture {
 public:
  ScopedErrorLog() : ScopedLogCapture(base::LOG_ERROR) {}
};

// RegCreateKeyExW failing for every key named "middle", the first
// |g_middle_failures| times (all when negative).
platform_rules::ScopedImportHook* g_middle_hook = nullptr;
int g_middle_failures = -1;

LONG WINAPI CreateAnyButMiddle(HKEY root, LPCWSTR sub_key, DWORD reserved,
                               LPWSTR key_class, DWORD options, REGSAM desired,
                               LPSECURITY_ATTRIBUTES attributes, PHKEY result,
                               LPDWORD disposition) {
  // By its path or below its parent's handle.
  const std::wstring name = L"\\" + std::wstring(sub_key ? sub_key : L"");
  const std::wstring kMiddle = L"\\middle";
  if (name.size() >= kMiddle.size() &&
      name.compare(name.size() - kMiddle.size(), kMiddle.size(), kMiddle) == 0 &&
      g_middle_failures != 0) {
    if (g_middle_failures > 0)
      --g_middle_failures;
    return ERROR_NO_SYSTEM_RESOURCES;
  }
  return g_middle_hook->original<decltype(&::RegCreateKeyExW)>()(
      root, sub_key, reserved, key_class, options, desired, attributes, result,
      disposition);
}

// NtQueryKey of a system that keeps no key flags (KeyFlagsInformation).
platform_rules::ScopedImportHook* g_no_flags_hook = nullptr;

LONG NTAPI QueryNoKeyFlags(HANDLE key, int information_class, PVOID information,
                           ULONG length, PULONG result_length) {
  if (information_class == 5)
    return static_cast<LONG>(0xC000000D);
  return g_no_flags_hook->original<decltype(&::NtQueryKey)>()(
      key, information_class, information, length, result_length);
}

// While alive, every block allocated through the shim is followed by zeros,
// the case in which Windows stores one more character of a string value
// written without its terminator; the bytes asked for are counted.
class ScopedZeroTailHeap {
 public:
  ScopedZeroTailHeap() {
    base::allocator::InsertAllocatorDispatchForTesting(&dispatch_);
  }
  ~ScopedZeroTailHeap() {
    base::allocator::RemoveAllocatorDispatchForTesting(&dispatch_);
  }
  ScopedZeroTailHeap(const ScopedZeroTailHeap&) = delete;
  ScopedZeroTailHeap& operator=(const ScopedZeroTailHeap&) = delete;

  static std::atomic<size_t> asked;

 private:
  using Dispatch = base::allocator::AllocatorDispatch;
  static constexpr size_t kTail = 8;

  static void* ZeroTail(void* block, size_t size) {
    if (block)
      memset(static_cast<char*>(block) + size, 0, kTail);
    return block;
  }
  static void* Alloc(const Dispatch* self, size_t size) {
    asked += size;
    return ZeroTail(self->next->alloc_function(self->next, size + kTail),
                    size);
  }
  static void* AllocZeroed(const Dispatch* self, size_t n, size_t size) {
    asked += n * size;
    return self->next->alloc_zero_initialized_function(self->next, n, size);
  }
  static void* AllocAligned(const Dispatch* self, size_t alignment,
                            size_t size) {
    asked += size;
    return ZeroTail(self->next->alloc_aligned_function(self->next, alignment,
                                                       size + kTail),
                    size);
  }
  static void* Realloc(const Dispatch* self, void* block, size_t size) {
    asked += size;
    return ZeroTail(self->next->realloc_function(self->next, block,
                                                 size + kTail),
                    size);
  }
  static void Free(const Dispatch* self, void* block) {
    self->next->free_function(self->next, block);
  }
  static size_t SizeEstimate(const Dispatch* self, void* block) {
    return self->next->get_size_estimate_function(self->next, block);
  }

  Dispatch dispatch_ = {&Alloc, &AllocZeroed, &AllocAligned, &Realloc,
                        &Free,  &SizeEstimate, nullptr};
};

std::atomic<size_t> ScopedZeroTailHeap::asked{0};

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

  // Any type, 0xFFFFFFFF too.
  Value Read(const std::wstring& key, const wchar_t* name) const {
    Value value;
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE,
                        &handle) != ERROR_SUCCESS) {
      return value;
    }
    DWORD size = 0;
    if (::RegQueryValueExW(handle, name, nullptr, &value.type, nullptr,
                           &size) == ERROR_SUCCESS) {
      value.data.resize(size);
      value.exists = ::RegQueryValueExW(handle, name, nullptr, &value.type,
                                        size ? value.data.data() : nullptr,
                                        &size) == ERROR_SUCCESS;
      value.data.resize(size);
    }
    ::RegCloseKey(handle);
    return value;
  }

  // Exactly |data|: a character that is no NUL follows it.
  void Write(const std::wstring& key, const wchar_t* name, DWORD type,
             const std::vector<BYTE>& data, DWORD options = 0) {
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr,
                                options, KEY_ALL_ACCESS, nullptr, &handle,
                                nullptr));
    std::vector<BYTE> guarded(data);
    guarded.insert(guarded.end(), {0xFF, 0xFF, 0xFF});
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueExW(handle, name, 0, type,
                               data.empty() ? nullptr : guarded.data(),
                               static_cast<DWORD>(data.size())));
    ::RegCloseKey(handle);
  }

  // Only below a volatile key must a new key be volatile too.
  bool IsVolatile(const std::wstring& key) {
    HKEY probe = nullptr;
    DWORD disposition = 0;
    const LONG result = ::RegCreateKeyExW(
        HKEY_CURRENT_USER, (key + L"\\probe").c_str(), 0, nullptr, 0,
        KEY_READ, nullptr, &probe, &disposition);
    if (result == ERROR_SUCCESS) {
      ::RegCloseKey(probe);
      ::RegDeleteKeyW(HKEY_CURRENT_USER, (key + L"\\probe").c_str());
    }
    return result == ERROR_CHILD_MUST_BE_VOLATILE;
  }

  // The key's access list as text, with its protection from inheritance;
  // with its owner too when asked; a link's own with REG_OPTION_OPEN_LINK.
  std::wstring Dacl(const std::wstring& key,
                    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION,
                    DWORD options = 0) const {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), options, READ_CONTROL,
                        &handle) != ERROR_SUCCESS) {
      return L"<missing>";
    }
    BYTE descriptor[4096];
    DWORD size = sizeof(descriptor);
    wchar_t* text = nullptr;
    std::wstring result = L"<unreadable>";
    if (::RegGetKeySecurity(handle, what, descriptor, &size) ==
            ERROR_SUCCESS &&
        ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, what, &text, nullptr)) {
      result = text;
      ::LocalFree(text);
    }
    ::RegCloseKey(handle);
    return result;
  }

  void SetDacl(const std::wstring& key, const wchar_t* sddl,
               DWORD options = 0) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl, SDDL_REVISION_1, &descriptor, nullptr));
    // An owner or group given too: any owner needs SeRestorePrivilege.
    const bool owner = wcsncmp(sddl, L"O:", 2) == 0;
    const bool group = wcsstr(sddl, L"G:") != nullptr;
    ScopedPrivilege restore(L"SeRestorePrivilege");
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), options,
                              WRITE_DAC | (owner || group ? WRITE_OWNER : 0),
                              &handle));
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegSetKeySecurity(handle,
                                  DACL_SECURITY_INFORMATION |
                                      (owner ? OWNER_SECURITY_INFORMATION : 0) |
                                      (group ? GROUP_SECURITY_INFORMATION : 0),
                                  descriptor));
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
  ScopedZeroTailHeap heap_;
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
  // 0xFFFFFFFF is a type like any other once stored.
  const DWORD kOddType = 0xFFFFFFFF;
  Write(key, L"string", REG_SZ, StringBytes(L"old"));
  Write(key, L"binary", REG_BINARY, binary);
  Write(key, L"empty", REG_NONE, {});
  Write(key, L"odd", kOddType, binary);
  Write(key, L"odd_removed", kOddType, binary);
  // A string stored without its terminator.
  const std::vector<BYTE> bare = Bytes(L"ab", 4);
  Write(key, L"bare", REG_SZ, bare);
  const DWORD number = 0x1234;
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(new ChangeRegValueOperation(
        HKEY_CURRENT_USER, key, L"string", &number, REG_DWORD, 4)));
    ASSERT_TRUE(transaction.AddAndExecute(Remove(key, L"binary")));
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"empty", L"x")));
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"new", L"n")));
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"odd", L"o")));
    ASSERT_TRUE(transaction.AddAndExecute(Remove(key, L"odd_removed")));
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"bare", L"x")));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), Read(key, L"string").type);
    EXPECT_FALSE(Read(key, L"binary").exists);
    EXPECT_FALSE(Read(key, L"odd_removed").exists);
    transaction.Rollback();
  }
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), Read(key, L"string").type);
  EXPECT_EQ(StringBytes(L"old"), Read(key, L"string").data);
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), Read(key, L"binary").type);
  EXPECT_EQ(binary, Read(key, L"binary").data);
  EXPECT_EQ(static_cast<DWORD>(REG_NONE), Read(key, L"empty").type);
  EXPECT_TRUE(Read(key, L"empty").data.empty());
  EXPECT_FALSE(Read(key, L"new").exists);
  EXPECT_EQ(bare, Read(key, L"bare").data);
  for (const wchar_t* odd : {L"odd", L"odd_removed"}) {
    EXPECT_TRUE(Read(key, odd).exists) << odd;
    EXPECT_EQ(kOddType, Read(key, odd).type) << odd;
    EXPECT_EQ(binary, Read(key, odd).data) << odd;
  }

  // The key deleted after its value changed: the value's rollback meets the
  // rebuilt key, not the deleted one its handle was opened on, also when
  // the key comes back with a list that lets nobody write, or when its
  // parent goes next and comes back first (a key made below it still goes).
  for (const wchar_t* sddl : {L"", L"*", L"D:P(A;OICI;KR;;;WD)"}) {
    const bool branch = *sddl == L'*';
    if (*sddl && !branch)
      SetDacl(key, sddl);
    const std::wstring dacl = Dacl(key);
    {
      Transaction transaction;
      ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"string", L"new")));
      ASSERT_TRUE(transaction.AddAndExecute(Remove(key, L"binary")));
      ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"added", L"a")));
      ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"bare", L"x")));
      ASSERT_TRUE(!branch || transaction.AddAndExecute(
          new CreateRegKeyOperation(HKEY_CURRENT_USER, key + L"\\new")));
      ASSERT_TRUE(transaction.AddAndExecute(
          new DeleteRegKeyOperation(HKEY_CURRENT_USER, key)));
      ASSERT_TRUE(!branch || transaction.AddAndExecute(
          new DeleteRegKeyOperation(HKEY_CURRENT_USER, base_)));
      transaction.Rollback();
    }
    EXPECT_FALSE(KeyExists(key + L"\\new"));
    EXPECT_EQ(StringBytes(L"old"), Read(key, L"string").data) << sddl;
    EXPECT_EQ(bare, Read(key, L"bare").data) << sddl;
    EXPECT_EQ(binary, Read(key, L"binary").data) << sddl;
    EXPECT_FALSE(Read(key, L"added").exists) << sddl;
    EXPECT_EQ(dacl, Dacl(key)) << sddl;
  }

  // Committed changes stay.
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(Remove(key, L"binary")));
    ASSERT_TRUE(transaction.AddAndExecute(SetString(key, L"string", L"new")));
  }
  EXPECT_FALSE(Read(key, L"binary").exists);
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
  Write(Key(L"elsewhere"), L"kept", REG_SZ, StringBytes(L"e"));
  Write(Key(L"elsewhere\\sub"), L"kept", REG_SZ, StringBytes(L"s"));
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new CreateRegKeyOperation(HKEY_CURRENT_USER, Key(L"a\\b\\c"))));
    EXPECT_TRUE(KeyExists(Key(L"a\\b\\c")));
    Write(Key(L"a\\b\\c\\d"), L"later", REG_SZ, StringBytes(L"later"));
    // Put there by another program: the link goes, not what it points to.
    ASSERT_EQ(ERROR_SUCCESS,
              platform_rules::MakeKeyLink(HKEY_CURRENT_USER,
                                          Key(L"a\\b\\c\\door"),
                                          Key(L"elsewhere")));
    transaction.Rollback();
  }
  EXPECT_FALSE(KeyExists(Key(L"a\\b")));
  EXPECT_EQ(StringBytes(L"keep"), Read(Key(L"a"), L"keep").data);
  EXPECT_EQ(StringBytes(L"e"), Read(Key(L"elsewhere"), L"kept").data);

  // Another program's link to a key that is gone is no level to create
  // through: refused, nothing made, the link left as it was.
  Write(Key(L"gone"), L"", REG_SZ, StringBytes(L"g"));
  ASSERT_EQ(ERROR_SUCCESS, platform_rules::MakeKeyLink(
                               HKEY_CURRENT_USER, Key(L"door"), Key(L"gone")));
  ASSERT_EQ(ERROR_SUCCESS,
            ::RegDeleteKeyW(HKEY_CURRENT_USER, Key(L"gone").c_str()));
  const std::wstring door =
      platform_rules::KeyLinkTarget(HKEY_CURRENT_USER, Key(L"door"));
  for (const auto& [key, logged] : {std::pair(L"door", "a link"),
                                    std::pair(L"door\\below", "a link")}) {
    ScopedErrorLog log;
    Transaction transaction;
    EXPECT_FALSE(transaction.AddAndExecute(
        new CreateRegKeyOperation(HKEY_CURRENT_USER, Key(key))));
    EXPECT_FALSE(KeyExists(Key(L"gone"))) << key;
    EXPECT_NE(std::string::npos, log.text.find(logged)) << log.text;
    transaction.Rollback();
    EXPECT_EQ(door,
              platform_rules::KeyLinkTarget(HKEY_CURRENT_USER, Key(L"door")));
  }

  // Empty levels are none, anywhere: "x\\\\y\\" makes y below x; rebuilt by
  // a later step's rollback, x is still the key made here.
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new CreateRegKeyOperation(HKEY_CURRENT_USER, Key(L"x\\\\y\\"))));
    EXPECT_TRUE(KeyExists(Key(L"x\\y")));
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER,
                                  L"\\" + Key(L"\\x\\\\"))));
    transaction.Rollback();
  }
  EXPECT_FALSE(KeyExists(Key(L"x")));
  EXPECT_FALSE(KeyExists(Key(L"y")));

  // A removal that fails part way puts back what went: another program's
  // key and value below ours are not lost.
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new CreateRegKeyOperation(HKEY_CURRENT_USER, Key(L"mine\\below"))));
    Write(Key(L"mine\\below\\theirs"), L"v", REG_SZ, StringBytes(L"t"));
    platform_rules::ScopedFaultInjection fault(3, ERROR_ACCESS_DENIED,
                                               "NtDeleteKey");
    transaction.Rollback();
  }
  EXPECT_EQ(StringBytes(L"t"), Read(Key(L"mine\\below\\theirs"), L"v").data);

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
  // A link to a key outside the tree, below a parent that lets nobody make
  // subkeys; a volatile branch open to all; strings without terminator;
  // many small values and one large.
  Write(Key(L"outside\\target"), L"kept", REG_SZ, StringBytes(L"t"));
  SetDacl(Key(L"outside"), L"D:P(A;OICI;KR;;;WD)");
  ASSERT_EQ(ERROR_SUCCESS, platform_rules::MakeKeyLink(
                               HKEY_CURRENT_USER, Key(L"tree\\door"),
                               Key(L"outside\\target")));
  const std::wstring door =
      platform_rules::KeyLinkTarget(HKEY_CURRENT_USER, Key(L"tree\\door"));
  ASSERT_FALSE(door.empty());
  // A plain key holding what a link would hold is no link.
  Write(Key(L"tree\\plain"), L"SymbolicLinkValue", REG_LINK,
        Bytes(door.data(), door.size() * sizeof(wchar_t)));
  Write(Key(L"tree\\plain\\child"), L"c", REG_SZ, StringBytes(L"c"));
  Write(Key(L"tree\\fleeting"), L"v", REG_SZ, StringBytes(L"f"),
        REG_OPTION_VOLATILE);
  Write(Key(L"tree\\fleeting\\inner"), L"v", REG_SZ, StringBytes(L"i"),
        REG_OPTION_VOLATILE);
  SetDacl(Key(L"tree\\fleeting"), L"D:P(A;OICI;KA;;;WD)");
  SetDacl(Key(L"tree\\fleeting\\inner"), L"D:P(A;OICI;KA;;;WD)");
  const std::vector<BYTE> bare = Bytes(L"ab", 4);
  const std::vector<BYTE> multi_bare = Bytes(L"a\0b", 6);
  Write(Key(L"tree\\other"), L"bare", REG_SZ, bare);
  Write(Key(L"tree\\other"), L"multi_bare", REG_MULTI_SZ, multi_bare);
  const std::vector<BYTE> large(1 << 20, 0x4C);
  for (DWORD i = 0; i < 400; ++i) {
    Write(Key(L"tree\\wide"), std::to_wstring(i).c_str(), REG_DWORD,
          Bytes(&i, 4));
  }
  Write(Key(L"tree\\wide"), L"large", REG_BINARY, large);
  // Everyone may read and only the system may write or make subkeys; set
  // by name, the list of the top reaches "other", which has none of its
  // own, as on Windows.
  SetDacl(Key(L"tree\\sub"), L"D:P(A;;KR;;;WD)(A;;KA;;;SY)");
  SetDacl(Key(L"tree\\other"), L"D:AI");
  PSECURITY_DESCRIPTOR locked = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:PAI(A;OICI;KR;;;WD)(A;OICI;KA;;;SY)", SDDL_REVISION_1, &locked,
      nullptr));
  PACL locked_dacl = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(locked, &present, &locked_dacl,
                                          &defaulted));
  const std::wstring tree_name = L"CURRENT_USER\\" + Key(L"tree");
  EXPECT_EQ(ERROR_SUCCESS,
            ::SetNamedSecurityInfoW(
                const_cast<wchar_t*>(tree_name.c_str()), SE_REGISTRY_KEY,
                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                nullptr, nullptr, locked_dacl, nullptr));
  ::LocalFree(locked);
  ASSERT_EQ(L"D:AI(A;OICIID;KR;;;WD)(A;OICIID;KA;;;SY)",
            Dacl(Key(L"tree\\other"))) << Dacl(Key(L"tree"));
  const wchar_t* kKeys[] = {L"tree", L"tree\\sub", L"tree\\sub\\deeper",
                            L"tree\\sub\\deeper\\deepest", L"tree\\other"};
  std::vector<std::wstring> dacls;
  for (const wchar_t* key : kKeys)
    dacls.push_back(Dacl(Key(key)));
  // Deleting needs no right on the parent; making the tree again does.
  SetDacl(base_, L"D:P(A;OICI;KR;;;WD)");
  const std::wstring parent_dacl = Dacl(base_);
  {
    Transaction transaction;
    ScopedZeroTailHeap::asked = 0;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"tree"))));
    // Memory follows the data, not values times the longest value.
    EXPECT_LT(ScopedZeroTailHeap::asked, 4 * large.size());
    EXPECT_FALSE(KeyExists(Key(L"tree")));
    EXPECT_EQ(StringBytes(L"t"), Read(Key(L"outside\\target"), L"kept").data);
    transaction.Rollback();
  }
  EXPECT_EQ(parent_dacl, Dacl(base_));
  EXPECT_EQ(door, platform_rules::KeyLinkTarget(HKEY_CURRENT_USER,
                                                Key(L"tree\\door")));
  EXPECT_EQ(StringBytes(L"t"), Read(Key(L"tree\\door"), L"kept").data);
  EXPECT_TRUE(Read(Key(L"tree\\plain"), L"SymbolicLinkValue").exists);
  EXPECT_EQ(StringBytes(L"c"), Read(Key(L"tree\\plain\\child"), L"c").data);
  EXPECT_FALSE(KeyExists(Key(L"outside\\target\\child")));
  EXPECT_TRUE(IsVolatile(Key(L"tree\\fleeting")));
  EXPECT_TRUE(IsVolatile(Key(L"tree\\fleeting\\inner")));
  EXPECT_EQ(StringBytes(L"i"), Read(Key(L"tree\\fleeting\\inner"), L"v").data);
  EXPECT_EQ(bare, Read(Key(L"tree\\other"), L"bare").data);
  EXPECT_EQ(multi_bare, Read(Key(L"tree\\other"), L"multi_bare").data);
  EXPECT_EQ(large, Read(Key(L"tree\\wide"), L"large").data);
  const DWORD last = 399;
  EXPECT_EQ(Bytes(&last, 4), Read(Key(L"tree\\wide"), L"399").data);
  EXPECT_EQ(StringBytes(L"1"), Read(Key(L"tree"), L"one").data);
  EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), Read(Key(L"tree"), L"").type);
  EXPECT_EQ(StringBytes(L"%TEMP%"), Read(Key(L"tree"), L"").data);
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), Read(Key(L"tree\\sub"), L"two").type);
  EXPECT_EQ(Bytes(&number, 4), Read(Key(L"tree\\sub"), L"two").data);
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY),
            Read(Key(L"tree\\sub\\deeper\\deepest"), L"three").type);
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ),
            Read(Key(L"tree\\other"), L"four").type);
  EXPECT_EQ(Bytes(L"a\0b\0", 5 * sizeof(wchar_t)),
            Read(Key(L"tree\\other"), L"four").data);
  // Every list as it was before access was widened to delete the tree.
  for (size_t i = 0; i < dacls.size(); ++i)
    EXPECT_EQ(dacls[i], Dacl(Key(kKeys[i]))) << kKeys[i];

  // Without the key flags, a link is told by where its name leads, never
  // by the value it holds.
  {
    platform_rules::ScopedImportHook hook(
        "NtQueryKey", reinterpret_cast<void*>(&QueryNoKeyFlags));
    g_no_flags_hook = &hook;
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"tree"))));
    transaction.Rollback();
    g_no_flags_hook = nullptr;
  }
  EXPECT_EQ(door, platform_rules::KeyLinkTarget(HKEY_CURRENT_USER,
                                                Key(L"tree\\door")));
  EXPECT_TRUE(Read(Key(L"tree\\plain"), L"SymbolicLinkValue").exists);
  EXPECT_FALSE(KeyExists(Key(L"outside\\target\\child")));
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"tree"))));
  }
  EXPECT_FALSE(KeyExists(Key(L"tree")));
  EXPECT_TRUE(KeyExists(base_));
  EXPECT_EQ(StringBytes(L"t"), Read(Key(L"outside\\target"), L"kept").data);
}

// A rebuilt key gets its saved owner and group back, not its creator's.
TEST_F(RegistryOperationsTest, DeleteKeyTreeGivesTheGroupBack) {
  const std::wstring key = Key(L"grouped\\sub");
  Write(key, L"v", REG_SZ, StringBytes(L"1"));
  SetDacl(key, L"O:SYD:(A;;KA;;;WD)");
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
  EXPECT_EQ(L"O:SY", Dacl(key, OWNER_SECURITY_INFORMATION));
}

// Two operations widen access on one key: whatever order commit or rollback
// undoes them in, the key ends with the access list it had, protection
// from inheritance included.
TEST_F(RegistryOperationsTest, WidenedAccessIsPutBackExactly) {
  const std::wstring key = Key(L"progid");
  Write(key, L"", REG_SZ, StringBytes(L"old"));
  // Everyone may read; nobody may write or make subkeys.
  SetDacl(key, L"D:P(A;OICI;KR;;;WD)");
  const std::wstring dacl = Dacl(key);
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

  // Owned by the system, which lets the user read it and take it over: the
  // owner comes back too.
  const std::wstring owned = Key(L"owned");
  const wchar_t kOwned[] = L"O:SYD:P(A;OICI;KR;;;WD)(A;;WO;;;WD)";
  Write(owned, L"", REG_SZ, StringBytes(L"old"));
  SetDacl(owned, kOwned);
  const SECURITY_INFORMATION kOwnerAndList =
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  ASSERT_EQ(kOwned, Dacl(owned, kOwnerAndList));
  for (bool commit : {false, true}) {
    {
      Transaction transaction;
      ASSERT_TRUE(transaction.AddAndExecute(SetString(owned, L"", L"new")));
      EXPECT_NE(kOwned, Dacl(owned, kOwnerAndList));
      EXPECT_FALSE(
          platform_rules::PrivilegeEnabled(L"SeTakeOwnershipPrivilege"));
      if (!commit) {
        // Deleted and rebuilt by the rollback, it is still the key the
        // owner goes back to.
        ASSERT_TRUE(transaction.AddAndExecute(
            new DeleteRegKeyOperation(HKEY_CURRENT_USER, owned)));
        transaction.Rollback();
      }
    }
    EXPECT_EQ(kOwned, Dacl(owned, kOwnerAndList))
        << (commit ? "commit" : "rollback");
    for (const wchar_t* privilege :
         {L"SeTakeOwnershipPrivilege", L"SeRestorePrivilege"}) {
      EXPECT_FALSE(platform_rules::PrivilegeEnabled(privilege)) << privilege;
    }
  }
  // Granted by name, it is held from its first open: its owner is taken
  // through that handle though a link above it is re-pointed meanwhile.
  const std::wstring other = Key(L"theirs\\owned");
  Write(other, L"", REG_SZ, StringBytes(L"x"));
  const std::wstring others_list = Dacl(other, kOwnerAndList);
  ASSERT_EQ(ERROR_SUCCESS,
            platform_rules::MakeKeyLink(HKEY_CURRENT_USER, Key(L"via"), base_));
  {
    std::unique_ptr<SavedAccess> saved;
    platform_rules::ScopedFaultInjection between(4, 0, "RegOpenKeyExW");
    between.Interject([&] {
      ScopedKey link;
      OpenKeyItself(HKEY_CURRENT_USER, Key(L"via"), DELETE, &link.handle);
      DeleteOpenKey(link.handle);
      platform_rules::MakeKeyLink(HKEY_CURRENT_USER, Key(L"via"),
                                  Key(L"theirs"));
    });
    ASSERT_TRUE(GrantUserAccess(L"CURRENT_USER\\" + Key(L"via\\owned"),
                                SE_REGISTRY_KEY, KEY_SET_VALUE, false, &saved));
    EXPECT_EQ(others_list, Dacl(other, kOwnerAndList));
    EXPECT_TRUE(RestoreAccess(&saved));
  }
  EXPECT_EQ(kOwned, Dacl(owned, kOwnerAndList));
  Transaction clear;
  for (const std::wstring& name : {owned, Key(L"via")}) {
    EXPECT_TRUE(clear.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, name)));
  }

  // A link whose own list denies deleting it: widened as itself, and when
  // its deletion fails, narrowed as itself; the key it points to keeps its
  // list, and the link that stayed is no lost key.
  const std::wstring door = Key(L"door");
  SetDacl(key, L"D:P(A;OICI;KA;;;WD)");
  const std::wstring target_dacl = Dacl(key);
  ASSERT_EQ(ERROR_SUCCESS,
            platform_rules::MakeKeyLink(HKEY_CURRENT_USER, door, key));
  SetDacl(door, L"D:P(A;;KR;;;WD)(A;;KA;;;SY)", REG_OPTION_OPEN_LINK);
  const std::wstring door_dacl =
      Dacl(door, DACL_SECURITY_INFORMATION, REG_OPTION_OPEN_LINK);
  {
    ScopedErrorLog log;
    {
      Transaction transaction;
      // Nor is a value written to it once it is widened.
      EXPECT_FALSE(transaction.AddAndExecute(SetString(door, L"v", L"new")));
      platform_rules::ScopedFaultInjection fault(1, ERROR_NOT_ENOUGH_MEMORY,
                                                 "NtDeleteKey");
      EXPECT_FALSE(transaction.AddAndExecute(
          new DeleteRegKeyOperation(HKEY_CURRENT_USER, door)));
      EXPECT_EQ("NtDeleteKey", fault.failed_function());
      EXPECT_EQ(target_dacl, Dacl(key));
      transaction.Rollback();
    }
    EXPECT_EQ(door_dacl,
              Dacl(door, DACL_SECURITY_INFORMATION, REG_OPTION_OPEN_LINK));
    EXPECT_EQ(target_dacl, Dacl(key));
    EXPECT_EQ(std::string::npos, log.text.find("Lost")) << log.text;
    EXPECT_EQ(std::string::npos, log.text.find("rebuild")) << log.text;
    EXPECT_NE(std::string::npos, log.text.find("it is a link")) << log.text;
  }
  // Deleted, then made again by another program to point elsewhere: theirs
  // stays, and the saved target is in the log.
  {
    ScopedErrorLog log;
    Write(Key(L"elsewhere"), L"", REG_SZ, StringBytes(L"e"));
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, door)));
    ASSERT_EQ(ERROR_SUCCESS, platform_rules::MakeKeyLink(
                                 HKEY_CURRENT_USER, door, Key(L"elsewhere")));
    const std::wstring theirs =
        platform_rules::KeyLinkTarget(HKEY_CURRENT_USER, door);
    transaction.Rollback();
    EXPECT_EQ(theirs, platform_rules::KeyLinkTarget(HKEY_CURRENT_USER, door));
    EXPECT_NE(std::string::npos, log.text.find("Lost SymbolicLinkValue"))
        << log.text;
  }

  // Deleted, made again and written to in one transaction: the new key's
  // own widened list never lands on the key rebuilt in place of the old.
  const std::wstring locked = Key(L"locked\\k");
  Write(locked, L"v", REG_SZ, StringBytes(L"old"));
  SetDacl(locked, L"D:P(A;;KA;;;SY)");
  SetDacl(Key(L"locked"), L"D:P(A;OICI;KR;;;WD)");
  {
    Transaction transaction;
    ASSERT_TRUE(transaction.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, locked)));
    ASSERT_TRUE(transaction.AddAndExecute(SetString(locked, L"w", L"new")));
    transaction.Rollback();
  }
  EXPECT_EQ(L"D:P(A;;KA;;;SY)", Dacl(locked));

  // A list held for a key that another program then deletes and makes
  // again is no list of the new key.
  const std::wstring name = L"CURRENT_USER\\" + key;
  std::unique_ptr<SavedAccess> first;
  ASSERT_TRUE(
      GrantUserAccess(name, SE_REGISTRY_KEY, KEY_SET_VALUE, false, &first));
  ASSERT_EQ(ERROR_SUCCESS, ::SHDeleteKeyW(HKEY_CURRENT_USER, key.c_str()));
  Write(key, L"theirs", REG_SZ, StringBytes(L"x"));
  SetDacl(key, L"D:P(A;OICI;KR;;;WD)(A;OICI;KA;;;SY)");
  const std::wstring theirs = Dacl(key);
  std::unique_ptr<SavedAccess> second;
  ASSERT_TRUE(
      GrantUserAccess(name, SE_REGISTRY_KEY, KEY_SET_VALUE, false, &second));
  EXPECT_TRUE(RestoreAccess(&second));
  EXPECT_EQ(theirs, Dacl(key));
  {
    ScopedErrorLog log;
    EXPECT_FALSE(RestoreAccess(&first));
    EXPECT_NE(std::string::npos, log.text.find("was deleted")) << log.text;
  }
  EXPECT_EQ(theirs, Dacl(key));
}

// Another program acts between a check and the act that relies on it: it
// puts a link at the name, or deletes the key and makes one of its own
// there. Nothing is made through the link, what it put there stays, and
// what cannot be put back is in the log.
TEST_F(RegistryOperationsTest, AnotherProgramActsInBetween) {
  enum Kind { MAKES, DELETES, SETS };
  // Just before the |nth| |call| (from the start when not |rollback|), |at|
  // becomes a link to |link_to|, or another program's key when that is null.
  struct InBetween {
    Kind kind;
    bool rollback;
    const char* call;
    int nth;
    const wchar_t* at;
    const wchar_t* link_to;
    const char* logged;
    // Below |at|: the key written; |at| under |sddl| when given.
    const wchar_t* below = L"";
    const wchar_t* sddl = nullptr;
    // |at| a link to this before the act re-points it; lists stay as were.
    const wchar_t* was_link_to = nullptr;
  };
  const InBetween kRows[] = {
      {MAKES, false, "RegCreateKeyExW", 1, L"made", L"outside\\gone", ""},
      {MAKES, false, "RegCreateKeyExW", 1, L"made", nullptr, ""},
      {MAKES, true, "RegOpenKeyExW", 1, L"made", L"outside\\gone", ""},
      {MAKES, true, "RegOpenKeyExW", 1, L"made", nullptr, "another key took"},
      {MAKES, false, "RegOpenKeyExW", 4, L"tree", L"outside",
       "itself: error 1018"},
      {MAKES, false, "RegOpenKeyExW", 6, L"tree", L"outside", "error 1018", L"",
       L"D:P(A;;KR;;;WD)"},
      {DELETES, true, "RegCreateKeyExW", 2, L"tree\\c", L"outside\\gone",
       "Lost two"},
      {DELETES, true, "RegCreateKeyExW", 2, L"tree\\c", nullptr, "Lost two"},
      {SETS, true, "RegCreateKeyExW", 1, L"tree", L"outside", "put back one"},
      {SETS, true, "RegSetValueExW", 3, L"tree", nullptr, "put back one"},
      {SETS, false, "RegOpenKeyExW", 7, L"made", L"outside", "error 1018"},
      {SETS, false, "RegOpenKeyExW", 7, L"made", nullptr, "error 1018"},
      {SETS, false, "RegOpenKeyExW", 9, L"made", L"tree", "error 1018", L"\\c"},
      {SETS, false, "RegOpenKeyExW", 4, L"tree", nullptr, "error 1018", L"",
       L"D:P(A;;KR;;;WD)"},
      {SETS, false, "RegOpenKeyExW", 1, L"made", L"outside", "a link"},
      {SETS, false, "RegOpenKeyExW", 2, L"made", L"outside", "a link"},
      {SETS, true, "RegDeleteValueW", 1, L"a", L"outside", "", L"\\c",
       L"D:P(A;;KR;;;WD)", L"tree"},
      {MAKES, true, "RegOpenKeyExW", 1, L"a", L"outside", "", L"\\c",
       L"D:P(A;;KR;;;WD)", L"tree"},
      {SETS, false, "RegOpenKeyExW", 3, L"a", L"outside", "", L"\\c",
       L"D:P(A;;KR;;;WD)", L"tree"},
      {MAKES, false, "RegOpenKeyExW", 5, L"a", L"outside", "", L"\\c",
       L"D:P(A;;KR;;;WD)", L"tree"},
      {DELETES, false, "RegOpenKeyExW", 4, L"a", L"outside", "", L"\\c",
       L"D:P(A;;KR;;;WD)", L"tree"},
      {DELETES, true, "RegCreateKeyExW", 1, L"a", L"outside", "", L"",
       L"D:P(A;;KR;;;WD)", L"tree"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(&row - kRows);
    const std::wstring at = Key(row.at);
    Write(Key(L"outside"), L"one", REG_SZ, StringBytes(L"kept"));
    Write(Key(L"tree"), L"one", REG_SZ, StringBytes(L"1"));
    Write(Key(L"tree\\c"), L"two", REG_SZ, StringBytes(L"2"));
    if (row.was_link_to) {
      Write(Key(L"outside\\c"), L"two", REG_SZ, StringBytes(L"x"));
      SetDacl(Key(L"outside\\c"), L"D:P(A;;KA;;;SY)");
      ASSERT_EQ(ERROR_SUCCESS,
                platform_rules::MakeKeyLink(HKEY_CURRENT_USER, at,
                                            Key(row.was_link_to)));
    }
    if (row.sddl)
      SetDacl(at + row.below, row.sddl);
    auto both_lists = [&] {
      return row.was_link_to ? Dacl(Key(L"tree\\c")) + Dacl(Key(L"outside\\c"))
                             : L"";
    };
    const std::wstring lists = both_lists();
    ScopedErrorLog log;
    {
      Transaction transaction;
      platform_rules::ScopedFaultInjection between(row.nth, 0, row.call,
                                                   !row.rollback);
      between.Interject([&] {
        ScopedKey link;  // A link goes as itself, not what it points to.
        if (!OpenKeyItself(HKEY_CURRENT_USER, at, DELETE, &link.handle))
          DeleteOpenKey(link.handle);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, at.c_str());
        if (!row.link_to)
          return Write(at, L"theirs", REG_SZ, StringBytes(L"x"));
        // A link to a missing key is made to one that then goes.
        const std::wstring target = Key(row.link_to);
        const bool missing = !KeyExists(target);
        Write(target, L"one", REG_SZ, StringBytes(L"kept"));
        EXPECT_EQ(ERROR_SUCCESS, platform_rules::MakeKeyLink(
                                     HKEY_CURRENT_USER, at, target));
        if (missing)
          ::RegDeleteKeyW(HKEY_CURRENT_USER, target.c_str());
      });
      const bool executes = row.rollback || row.was_link_to ||
                            (!row.link_to && row.kind == MAKES);
      if (row.kind == SETS) {
        ASSERT_EQ(executes, transaction.AddAndExecute(
                                SetString(at + row.below, L"one", L"new")));
      }
      EXPECT_TRUE((row.kind == SETS && !row.rollback) ||
                  executes == transaction.AddAndExecute(
                      row.kind == MAKES
                          ? static_cast<Operation*>(new CreateRegKeyOperation(
                                HKEY_CURRENT_USER,
                                at + row.below + L"\\by\\us"))
                          : new DeleteRegKeyOperation(
                                HKEY_CURRENT_USER, row.was_link_to
                                                       ? at + L"\\c"
                                                       : Key(L"tree"))));
      between.Start();
      transaction.Rollback();
    }
    EXPECT_FALSE(KeyExists(Key(L"outside\\gone")) ||
                 KeyExists(Key(L"outside\\by")) ||
                 Read(Key(L"tree\\c"), L"one").exists);
    EXPECT_EQ(StringBytes(L"kept"), Read(Key(L"outside"), L"one").data);
    EXPECT_EQ(!row.link_to,
              platform_rules::KeyLinkTarget(HKEY_CURRENT_USER, at).empty());
    EXPECT_EQ(!row.link_to, Read(at, L"theirs").exists);
    EXPECT_FALSE(!row.link_to && (Read(at, L"one").exists ||
                                  Read(at, L"two").exists));
    EXPECT_NE(std::string::npos, log.text.find(row.logged)) << log.text;
    EXPECT_EQ(lists, both_lists());
    for (const wchar_t* key : {L"a", L"made", L"tree", L"outside"}) {
      Transaction clear;
      EXPECT_TRUE(clear.AddAndExecute(
          new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(key))));
    }
  }
}

DWORD WINAPI RefuseSecurity(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION,
                            PSID, PSID, PACL, PACL) {
  return ERROR_ACCESS_DENIED;
}

// Access that cannot be narrowed again, and a key that cannot be rebuilt,
// are error lines naming the key; a key below one whose rebuild failed
// never brings it back without its values.
TEST_F(RegistryOperationsTest, FailuresAtCommitAndRollbackAreLogged) {
  const std::wstring locked = Key(L"locked");
  Write(locked, L"", REG_SZ, StringBytes(L"old"));
  SetDacl(locked, L"D:P(A;OICI;KR;;;WD)");
  const std::wstring locked_name = L"CURRENT_USER\\" + locked;
  // A value set in the key, then a subkey made below it.
  for (const bool value : {true, false}) {
    ScopedErrorLog log;
    {
      std::unique_ptr<Transaction> transaction(new Transaction);
      ASSERT_TRUE(transaction->AddAndExecute(
          value ? SetString(locked, L"", L"new")
                : new CreateRegKeyOperation(HKEY_CURRENT_USER,
                                            locked + L"\\shell")));
      // Every try refused: one failure alone is tried again.
      platform_rules::ScopedImportHook refuse(
          "SetSecurityInfo", reinterpret_cast<void*>(&RefuseSecurity));
      transaction.reset();  // commit
    }
    EXPECT_NE(std::string::npos,
              log.text.find("Failed to put back the access list of " +
                            base::WideToUTF8(locked_name)))
        << value << ": " << log.text;
    SetDacl(locked, L"D:P(A;OICI;KR;;;WD)");
  }

  // Refused for good, a key is lost with the keys below it, each value in
  // the log; refused twice, it is tried again for the key below it.
  const std::wstring middle = Key(L"top\\middle");
  const std::string middle_name =
      "CURRENT_USER\\" + base::WideToUTF8(middle);
  for (const int failures : {-1, 2}) {
    ::SHDeleteKeyW(HKEY_CURRENT_USER, Key(L"top").c_str());
    Write(middle, L"kept", REG_SZ, StringBytes(L"m"));
    Write(middle + L"\\leaf", L"kept", REG_SZ, StringBytes(L"l"));
    ScopedErrorLog log;
    {
      Transaction transaction;
      ASSERT_TRUE(transaction.AddAndExecute(
          new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"top"))));
      platform_rules::ScopedImportHook hook(
          "RegCreateKeyExW", reinterpret_cast<void*>(&CreateAnyButMiddle));
      g_middle_hook = &hook;
      g_middle_failures = failures;
      transaction.Rollback();
      g_middle_hook = nullptr;
      g_middle_failures = -1;
    }
    EXPECT_TRUE(KeyExists(Key(L"top")));
    if (failures > 0) {
      EXPECT_EQ(StringBytes(L"l"), Read(middle + L"\\leaf", L"kept").data);
      continue;
    }
    for (const std::string& line :
         {"Failed to rebuild key " + middle_name,
          "Not rebuilding key " + middle_name + "\\leaf",
          "Lost kept of " + middle_name + ", type 1, 4 bytes: 6d000000",
          "Lost kept of " + middle_name +
              "\\leaf, type 1, 4 bytes: 6c000000"}) {
      EXPECT_NE(std::string::npos, log.text.find(line)) << line << log.text;
    }
    EXPECT_FALSE(KeyExists(middle));
  }

  // Another program puts a link, or a key of its own, where the deleted
  // tree stood: theirs stays, nothing is made through the link, and each
  // saved value not put back is in the log.
  for (const bool link : {true, false}) {
    ::SHDeleteKeyW(HKEY_CURRENT_USER, Key(L"top").c_str());
    Write(Key(L"top"), L"one", REG_SZ, StringBytes(L"1"));
    Write(Key(L"top\\sub\\deep"), L"", REG_SZ, StringBytes(L"d"));
    Write(Key(L"top\\sub"), L"two", REG_SZ, StringBytes(L"2"));
    Write(Key(L"elsewhere"), L"kept", REG_SZ, StringBytes(L"e"));
    ScopedErrorLog log;
    {
      Transaction transaction;
      ASSERT_TRUE(transaction.AddAndExecute(
          new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"top"))));
      if (link) {
        ASSERT_EQ(ERROR_SUCCESS,
                  platform_rules::MakeKeyLink(HKEY_CURRENT_USER, Key(L"top"),
                                              Key(L"elsewhere")));
      } else {
        Write(Key(L"top"), L"theirs", REG_SZ, StringBytes(L"x"));
      }
      transaction.Rollback();
    }
    EXPECT_FALSE(KeyExists(Key(L"elsewhere\\sub"))) << link;
    EXPECT_FALSE(Read(Key(L"elsewhere"), L"one").exists) << link;
    EXPECT_EQ(!link, Read(Key(L"top"), L"theirs").exists);
    EXPECT_FALSE(Read(Key(L"top"), L"one").exists) << link;
    EXPECT_EQ(!link, Read(Key(L"top\\sub"), L"two").exists);
    const std::string top = "CURRENT_USER\\" + base::WideToUTF8(Key(L"top"));
    for (const std::string& line :
         link ? std::vector<std::string>{"Lost one of " + top + ", type 1",
                                         "Lost two of " + top + "\\sub"}
              : std::vector<std::string>{"Not putting back one in " + top +
                                         ", made again meanwhile, type 1"}) {
      EXPECT_NE(std::string::npos, log.text.find(line)) << line << log.text;
    }
    EXPECT_EQ(link, log.text.find("Lost two") != std::string::npos);
    // One line for each key that stays missing, however deep.
    const std::string missing = "Not rebuilding key " + top + "\\sub:";
    const size_t first = log.text.find(missing);
    EXPECT_EQ(link, first != std::string::npos);
    EXPECT_EQ(std::string::npos, log.text.find(missing, first + 1));
    Transaction clear;
    EXPECT_TRUE(clear.AddAndExecute(
        new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"top"))));
  }

  // A value whose key another program deleted meanwhile: its only copy is
  // in the log.
  Write(Key(L"gone"), L"v", REG_SZ, StringBytes(L"g"));
  {
    ScopedErrorLog value_log;
    {
      Transaction transaction;
      ASSERT_TRUE(transaction.AddAndExecute(SetString(Key(L"gone"), L"v",
                                                      L"new")));
      ::SHDeleteKeyW(HKEY_CURRENT_USER, Key(L"gone").c_str());
      transaction.Rollback();
    }
    const std::string line = "Failed to put back v in CURRENT_USER\\" +
                             base::WideToUTF8(Key(L"gone")) +
                             ": error 1018, type 1, 4 bytes: 67000000";
    EXPECT_NE(std::string::npos, value_log.text.find(line)) << value_log.text;
  }
}

// One call of a rollback failing once (a scanner holding the key, a short
// lack of resources) loses no value and leaves no list other than it was:
// a value set in a read-only key that is then deleted with the tree below
// it, values of odd types and sizes included.
TEST_F(RegistryOperationsTest, RollbackSurvivesOneFailedCall) {
  const std::wstring top = Key(L"top");
  const std::wstring sub = Key(L"top\\sub");
  const std::vector<BYTE> huge(100000, 0x5A);
  const std::vector<BYTE> unterminated = Bytes(L"a\0b", 3 * sizeof(wchar_t));
  const struct {
    const std::wstring* key;
    const wchar_t* name;
    DWORD type;
    std::vector<BYTE> data;
  } kValues[] = {{&top, L"", REG_SZ, StringBytes(L"old")},
                 {&top, L"odd", 0xFFFFFFFF, {1, 2, 3}},
                 {&sub, L"none", REG_NONE, {}},
                 {&sub, L"multi", REG_MULTI_SZ, unterminated},
                 {&sub, L"bare", REG_SZ, Bytes(L"ab", 4)},
                 {&sub, L"huge", REG_BINARY, huge}};
  const char* kCalls[] = {"RegSetValueExW", "RegSetKeySecurity",
                          "RegCreateKeyExW", "RegDeleteValueW",
                          "SetSecurityInfo", "RegOpenKeyExW"};
  for (const char* call : kCalls) {
    for (int fail_at = 1;; ++fail_at) {
      {
        // A key the system owns is taken over to be deleted.
        Transaction clear;
        ASSERT_TRUE(clear.AddAndExecute(
            new DeleteRegKeyOperation(HKEY_CURRENT_USER, top)));
      }
      for (const auto& value : kValues)
        Write(*value.key, value.name, value.type, value.data);
      // Owned by the system; the user may take it over.
      SetDacl(sub, L"O:SYG:WDD:P(A;;KR;;;WD)(A;;WO;;;WD)(A;;KA;;;SY)");
      SetDacl(top, L"D:P(A;OICI;KR;;;WD)");
      const SECURITY_INFORMATION kSecurity = OWNER_SECURITY_INFORMATION |
                                             GROUP_SECURITY_INFORMATION |
                                             DACL_SECURITY_INFORMATION;
      const std::wstring dacls[] = {Dacl(top, kSecurity),
                                    Dacl(sub, kSecurity)};
      std::string failed;
      {
        Transaction transaction;
        ASSERT_TRUE(transaction.AddAndExecute(SetString(top, L"", L"new")));
        ASSERT_TRUE(transaction.AddAndExecute(SetString(top, L"added", L"a")));
        ASSERT_TRUE(transaction.AddAndExecute(
            new DeleteRegKeyOperation(HKEY_CURRENT_USER, top)));
        platform_rules::ScopedFaultInjection fault(
            fail_at, ERROR_NO_SYSTEM_RESOURCES, call);
        transaction.Rollback();
        failed = fault.failed_function();
      }
      const std::string where =
          std::string(call) + " #" + std::to_string(fail_at);
      for (size_t i = 0; i < std::size(kValues); ++i) {
        const Value read = Read(*kValues[i].key, kValues[i].name);
        EXPECT_TRUE(read.exists) << where << kValues[i].name;
        EXPECT_EQ(kValues[i].type, read.type) << where << kValues[i].name;
        EXPECT_TRUE(kValues[i].data == read.data) << where << kValues[i].name;
      }
      EXPECT_FALSE(Read(top, L"added").exists) << where;
      EXPECT_EQ(dacls[0], Dacl(top, kSecurity)) << where;
      EXPECT_EQ(dacls[1], Dacl(sub, kSecurity)) << where;
      if (failed.empty() || HasFailure())
        break;
    }
  }
  Transaction clear;
  EXPECT_TRUE(clear.AddAndExecute(
      new DeleteRegKeyOperation(HKEY_CURRENT_USER, top)));
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
