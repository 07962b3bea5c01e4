#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/move_file_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"
#include "testing/win/registry_rules.h"

// A realistic transaction of file and registry operations, made to fail in
// every way we can produce: each operation in turn, and each platform call
// it makes. After a rollback the scratch folder and key must be exactly as
// before; after a commit (a failure nobody reported) as after a clean one.
namespace installer {

namespace {

using base::FilePath;

class FailingOperation : public Operation {
 public:
  bool Execute(Transaction*) override { return false; }
  void Rollback() override {}
};

// One operation, and the file (relative to the scratch folder) whose being
// held open makes it fail; none when null.
struct Step {
  std::function<Operation*()> make;
  const char* held;
  DWORD held_share;
};

std::wstring Sddl(PSECURITY_DESCRIPTOR descriptor) {
  wchar_t* text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    return L"?";
  }
  std::wstring result(text);
  ::LocalFree(text);
  return result;
}

// Every key below |path|: values with types and bytes, and access lists.
void DescribeKey(const std::wstring& path, std::vector<std::string>* lines) {
  HKEY key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0,
                      KEY_READ | READ_CONTROL, &key) != ERROR_SUCCESS) {
    lines->push_back("unreadable key " + base::WideToUTF8(path));
    return;
  }
  BYTE security[4096];
  DWORD security_size = sizeof(security);
  std::wstring line = path + L" acl=";
  line += ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, security,
                              &security_size) == ERROR_SUCCESS
              ? Sddl(security)
              : L"?";
  lines->push_back(base::WideToUTF8(line));
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0; i < 1000; ++i) {
    wchar_t name[256];
    DWORD name_size = 256;
    BYTE data[1024];
    DWORD data_size = sizeof(data);
    DWORD type;
    if (::RegEnumValueW(key, i, name, &name_size, nullptr, &type, data,
                        &data_size) != ERROR_SUCCESS) {
      break;
    }
    std::string value = base::WideToUTF8(path + L" [" + name + L"] ") +
                        std::to_string(type) + ":";
    value.append(reinterpret_cast<const char*>(data), data_size);
    lines->push_back(value);
  }
  for (DWORD i = 0; i < 1000; ++i) {
    wchar_t name[256];
    DWORD name_size = 256;
    if (::RegEnumKeyExW(key, i, name, &name_size, nullptr, nullptr, nullptr,
                        nullptr) != ERROR_SUCCESS) {
      break;
    }
    subkeys.push_back(name);
  }
  ::RegCloseKey(key);
  for (const std::wstring& subkey : subkeys)
    DescribeKey(path + L"\\" + subkey, lines);
}

class TransactionFaultSweepTest : public testing::Test {
 protected:
  void SetUp() override {
    key_ = base::TestRegistryParent() + L"\\sweep";
    AddSteps();
  }

  void TearDown() override {
    ::SHDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
  }

  FilePath Path(const char* relative) const {
    return folder_.path().AppendASCII(relative);
  }
  std::wstring Key(const wchar_t* relative) const {
    return key_ + L"\\" + relative;
  }

  void File(const char* relative, const std::string& text, DWORD attributes) {
    const FilePath path = Path(relative);
    ASSERT_TRUE(base::CreateDirectory(path.DirName()));
    const int size = static_cast<int>(text.size());
    ASSERT_EQ(size, base::WriteFile(path, text.data(), size));
    if (attributes) {
      ASSERT_TRUE(::SetFileAttributesW(as_wcstr(path.value()), attributes));
    }
  }

  void Value(const wchar_t* key,
             const wchar_t* name,
             DWORD type,
             const std::string& data) {
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, Key(key).c_str(), 0,
                                nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                                nullptr));
    if (name) {
      EXPECT_EQ(ERROR_SUCCESS,
                ::RegSetValueExW(handle, name, 0, type,
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())));
    }
    ::RegCloseKey(handle);
  }

  // The state every case starts from, laid out anew.
  void Build() {
    ClearAll();
    File("src\\new.dll", "new dll", 0);
    File("src\\new.txt", "new text", 0);
    File("src\\m1.txt", "m1", FILE_ATTRIBUTE_READONLY);
    File("src\\m2.txt", "m2", 0);
    File("app\\ro.dll", "old dll", FILE_ATTRIBUTE_READONLY);
    File("app\\plain.txt", "old text", FILE_ATTRIBUTE_HIDDEN);
    File("app\\old.txt", "old", 0);
    File("app\\launcher.exe", "exe", 0);
    File("app\\doomed\\a.txt", "a", 0);
    File("app\\doomed\\inner\\b.txt", "b", FILE_ATTRIBUTE_READONLY);
    File("app\\doomed\\inner\\c.txt", "c", 0);
    File("app\\movable\\d.txt", "d", 0);
    File("app\\movable\\sub\\e.txt", "e", 0);
    Value(L"a", L"type", REG_SZ, std::string("1\0\0\0", 4));
    Value(L"a", L"removed", REG_BINARY, "gone");
    Value(L"tree\\sub\\deeper", L"leaf", REG_BINARY, "leaf");
    Value(L"tree\\sub", L"mid", REG_DWORD, std::string("\x07\0\0\0", 4));
    Value(L"tree", nullptr, 0, "");
    Value(L"doomed", L"x", REG_BINARY, "old");
    Value(L"progid", L"", REG_SZ, std::string("o\0l\0d\0\0\0", 8));
    // Everyone may read; only the system may write or make subkeys.
    SetDacl(L"tree\\sub", L"D:P(A;;KR;;;WD)(A;;KA;;;SY)");
    SetDacl(L"progid", L"D:P(A;OICI;KR;;;WD)");
  }

  void SetDacl(const wchar_t* key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl, SDDL_REVISION_1, &descriptor, nullptr));
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER,
                                             Key(key).c_str(), 0, WRITE_DAC,
                                             &handle));
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION,
                                  descriptor));
    ::RegCloseKey(handle);
    ::LocalFree(descriptor);
  }

  void ClearAll() {
    ASSERT_TRUE(base::DeleteFile(Path("app"), true));
    ASSERT_TRUE(base::DeleteFile(Path("src"), true));
    ::SHDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
  }

  void AddSteps() {
    auto copy = [this](const char* from, const char* to) {
      return [this, from, to] {
        return new CopyFileOperation(Path(from), Path(to));
      };
    };
    auto move = [this](const char* from, const char* to) {
      return [this, from, to] {
        return new MoveFileOperation(Path(from), Path(to));
      };
    };
    auto remove = [this](const char* path, bool check_in_use) {
      return [this, path, check_in_use] {
        return new DeleteFileOperation(Path(path), check_in_use, false);
      };
    };
    auto value = [this](const wchar_t* key, const wchar_t* name, DWORD type,
                        std::string data) {
      return [this, key, name, type, data] {
        return new ChangeRegValueOperation(HKEY_CURRENT_USER, Key(key), name,
                                           data.data(), type,
                                           static_cast<DWORD>(data.size()));
      };
    };
    const DWORD kNoDelete = FILE_SHARE_READ;
    steps_ = {
        {copy("src\\new.dll", "app\\ro.dll"), "app\\ro.dll", kNoDelete},
        {copy("src\\new.txt", "app\\plain.txt"), "app\\plain.txt", kNoDelete},
        {move("src\\m1.txt", "app\\new\\deep\\m1.txt"), "src\\m1.txt",
         kNoDelete},
        {move("src\\m2.txt", "app\\new\\m2.txt"), "src\\m2.txt", kNoDelete},
        {[this] { return new CreateFolderOperation(Path("app\\made\\a\\b")); },
         nullptr, 0},
        {remove("app\\old.txt", false), "app\\old.txt", kNoDelete},
        {remove("app\\doomed", false), "app\\doomed\\inner\\c.txt", kNoDelete},
        {move("app\\movable", "app\\moved\\here"), "app\\movable\\sub\\e.txt",
         kNoDelete},
        // Running: it can be renamed, not written.
        {remove("app\\launcher.exe", true), "app\\launcher.exe",
         FILE_SHARE_READ | FILE_SHARE_DELETE},
        {[this] {
           return new CreateRegKeyOperation(HKEY_CURRENT_USER,
                                            Key(L"new\\deep"));
         },
         nullptr, 0},
        {value(L"a", L"type", REG_DWORD, std::string("\x01\0\0\0", 4)),
         nullptr, 0},
        {value(L"a", L"added", REG_SZ, std::string("n\0e\0w\0\0\0", 8)),
         nullptr, 0},
        {value(L"a", L"removed", ChangeRegValueOperation::kRemoveValue, ""),
         nullptr, 0},
        {[this] {
           return new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"tree"));
         },
         nullptr, 0},
        {value(L"doomed", L"x", REG_BINARY, "new"), nullptr, 0},
        {[this] {
           return new DeleteRegKeyOperation(HKEY_CURRENT_USER, Key(L"doomed"));
         },
         nullptr, 0},
        {value(L"new\\deep", L"y", REG_BINARY, "y"), nullptr, 0},
        // Both widen access on the same key for the change.
        {value(L"progid", L"", REG_SZ, std::string("n\0e\0w\0\0\0", 8)),
         nullptr, 0},
        {[this] {
           return new CreateRegKeyOperation(HKEY_CURRENT_USER,
                                            Key(L"progid\\shell"));
         },
         nullptr, 0},
    };
  }

  std::vector<std::string> Snapshot() {
    std::vector<std::string> lines;
    base::FileEnumerator files(
        folder_.path(), true,
        base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
    for (FilePath entry = files.Next(); !entry.empty(); entry = files.Next()) {
      const DWORD attributes =
          files.GetInfo().find_data().dwFileAttributes &
          (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
           FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
      std::string contents;
      if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !base::ReadFileToString(entry, &contents)) {
        contents = "<unreadable>";
      }
      std::string name = entry.AsUTF8Unsafe();
      name.erase(0, folder_.path().AsUTF8Unsafe().size());
      lines.push_back(name + " " +
                      std::to_string(attributes) + " " + contents);
    }
    DescribeKey(key_, &lines);
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  // Executes the first |count| steps, then |extra| when given, stopping at
  // the first failure; true when all succeeded.
  bool Execute(Transaction* transaction, size_t count, Operation* extra) {
    for (size_t i = 0; i < count; ++i) {
      if (!transaction->AddAndExecute(steps_[i].make())) {
        delete extra;
        return false;
      }
    }
    return !extra || transaction->AddAndExecute(extra);
  }

  // Compares the state with |expected|, reporting |what| and the lines
  // that differ.
  void Check(const std::vector<std::string>& expected,
             const std::string& what) {
    const std::vector<std::string> actual = Snapshot();
    if (actual == expected)
      return;
    std::vector<std::string> lost, gained;
    std::set_difference(expected.begin(), expected.end(), actual.begin(),
                        actual.end(), std::back_inserter(lost));
    std::set_difference(actual.begin(), actual.end(), expected.begin(),
                        expected.end(), std::back_inserter(gained));
    std::string report = what;
    for (const std::string& line : lost)
      report += "\n  - " + line;
    for (const std::string& line : gained)
      report += "\n  + " + line;
    ADD_FAILURE() << report;
    ++mismatches_;
  }

  // Before anything else: key access lists count, as on Windows.
  platform_rules::ScopedWindowsRegistryAccessRules registry_rules_;
  base::TestFolder folder_;
  std::wstring key_;
  std::vector<Step> steps_;
  int mismatches_ = 0;
};

}  // namespace

TEST_F(TransactionFaultSweepTest, EveryFailureRollsBackWhole) {
  platform_rules::ScopedWindowsFolderRenameRules rules;

  // A clean run: what a commit leaves, and how many platform calls the
  // operations make.
  Build();
  const std::vector<std::string> before = Snapshot();
  int calls = 0;
  {
    Transaction transaction;
    platform_rules::ScopedFaultInjection count;
    ASSERT_TRUE(Execute(&transaction, steps_.size(), nullptr));
    calls = count.calls();
  }
  const std::vector<std::string> committed = Snapshot();
  ASSERT_NE(before, committed);
  ASSERT_GT(calls, 0);
  // Access widened for the changes is narrow again after the commit.
  const std::string progid_acl = base::WideToUTF8(Key(L"progid")) + " acl=";
  auto acl = [&progid_acl](const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      if (line.compare(0, progid_acl.size(), progid_acl) == 0)
        return line;
    }
    return std::string();
  };
  EXPECT_FALSE(acl(before).empty());
  EXPECT_EQ(acl(before), acl(committed));

  int cases = 0;
  // Each operation in turn fails: the one after it, and (where a held file
  // can stop it) the operation itself.
  for (size_t k = 0; k <= steps_.size(); ++k) {
    Build();
    {
      Transaction transaction;
      EXPECT_FALSE(Execute(&transaction, k, new FailingOperation));
      transaction.Rollback();
    }
    Check(before, "failing operation after " + std::to_string(k));
    ++cases;
    if (k == steps_.size() || !steps_[k].held)
      continue;
    Build();
    {
      HANDLE held = ::CreateFileW(as_wcstr(Path(steps_[k].held).value()),
                                  GENERIC_READ, steps_[k].held_share, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(INVALID_HANDLE_VALUE, held);
      Transaction transaction;
      EXPECT_FALSE(Execute(&transaction, k + 1, nullptr)) << k;
      transaction.Rollback();
      ::CloseHandle(held);
    }
    Check(before, "operation " + std::to_string(k) + " held up");
    ++cases;
  }

  // Each platform call in turn fails once.
  for (const DWORD error : {DWORD{ERROR_ACCESS_DENIED},
                            DWORD{ERROR_NO_SYSTEM_RESOURCES}}) {
    for (int call = 1; call <= calls; ++call) {
      Build();
      std::string what = "call " + std::to_string(call) + " failing with " +
                         std::to_string(error);
      bool done;
      {
        Transaction transaction;
        {
          platform_rules::ScopedFaultInjection inject(call, error);
          done = Execute(&transaction, steps_.size(), nullptr);
          what += " (" + inject.failed_function() + ")";
        }
        if (!done)
          transaction.Rollback();
      }
      Check(done ? committed : before, what + (done ? ", committed" : ""));
      ++cases;
    }
  }
  EXPECT_EQ(0, mismatches_) << "of " << cases << " cases";
}

}  // namespace installer
