#include "desktop/windows/installer/service/installation.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/test_folder_win.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_log_capture_testsupport.h"
#include "base/values.h"
#include "components/prefs/json_pref_store.h"
#include "desktop/windows/installer/branding.h"
#include "desktop/windows/installer/service/profile_path.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/service/win/xml_document_testsupport.h"
#include "gtest/gtest.h"
#include "testing/win/platform_rules.h"

namespace installer {
namespace {

class InstallationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    std::wstring user;
    ASSERT_TRUE(GetCurrentUserName(&user));
    user_ = as_u16cstr(user.c_str());
  }
  void TearDown() override { ::CoUninitialize(); }

  void WritePrefs(const std::string& json) {
    ASSERT_EQ(static_cast<int>(json.size()),
              base::WriteFile(folder_.path().AppendASCII("installer_prefs.json"),
                              json.data(), static_cast<int>(json.size())));
  }

  bool SaveLog(const InstallLog& log) {
    StandInWriterXmlDocument document;
    return InstallLog::SaveToFile(
        &document, log, folder_.path().AppendASCII("installation_status.xml"));
  }

  base::TestFolder folder_;
  string16 user_;
};

TEST_F(InstallationTest, WithoutPrefs) {
  Installation installation(folder_.path());
  EXPECT_TRUE(installation.profile_path().empty());
  EXPECT_FALSE(installation.IsSingleProfile());
  EXPECT_FALSE(installation.IsCopyOnly());
  EXPECT_EQ(base::UTF8ToUTF16(GetProductName() + " " + GetStream()),
            installation.registered_app_name());

  base::FilePath app_data;
  ASSERT_TRUE(base::PathService::Get(base::DIR_APP_DATA, &app_data));
  const base::FilePath expected = app_data.Append(base::UTF8ToUTF16(
      ExpandDefaultProfilePath(Branding::GetDefaultProfilePathTemplate(),
                               "Developer")));
  base::FilePath folder;
  EXPECT_FALSE(installation.GetSingleProfileFolder(&folder));
  ASSERT_TRUE(installation.GetProfileFolder(&folder));
  EXPECT_EQ(expected, folder);
  ASSERT_TRUE(installation.GetUserDataFolder(&folder, true));
  EXPECT_EQ(expected, folder);

  // A default profile path moves from roaming to local application data.
  base::FilePath local;
  ASSERT_TRUE(base::PathService::Get(base::DIR_LOCAL_APP_DATA, &local));
  installation.RebaseDefaultProfilePath(app_data.AppendASCII("A\\B"), &folder);
  EXPECT_EQ(local.AppendASCII("A\\B"), folder);
  const base::FilePath elsewhere(u"C:\\Elsewhere\\A");
  installation.RebaseDefaultProfilePath(elsewhere, &folder);
  EXPECT_EQ(elsewhere, folder);

  // Without an install folder nothing is read from the current folder.
  WritePrefs("{\"single_profile\": true, \"profile_path\": \"C:\\\\P\"}");
  InstallLog planted;
  planted.copy_only = true;
  ASSERT_TRUE(SaveLog(planted));
  wchar_t previous[MAX_PATH];
  ASSERT_NE(0u, ::GetCurrentDirectoryW(MAX_PATH, previous));
  ASSERT_TRUE(::SetCurrentDirectoryW(as_wcstr(folder_.path().value())));
  for (const char16* none : {u"", u"."}) {
    Installation without(base::FilePath{none});
    EXPECT_TRUE(without.profile_path().empty());
    EXPECT_FALSE(without.IsSingleProfile());
    EXPECT_FALSE(without.IsCopyOnly());
    EXPECT_FALSE(without.GetUserDataFolder(&folder, false));
  }
  ::SetCurrentDirectoryW(previous);
}

TEST_F(InstallationTest, StoredProfilePath) {
  WritePrefs("{\"profile_path\": \"C:\\\\Profiles\\\\<USERNAME>\"}");
  Installation installation(folder_.path());
  EXPECT_EQ(u"C:\\Profiles\\<USERNAME>", installation.profile_path());
  const base::FilePath own(u"C:\\Profiles\\" + user_);
  base::FilePath folder;
  ASSERT_TRUE(installation.GetProfileFolder(&folder));
  EXPECT_EQ(own, folder);
  ASSERT_TRUE(installation.GetUserDataFolder(&folder, false));
  EXPECT_EQ(own, folder);
  ASSERT_TRUE(installation.GetUserDataFolder(&folder, true));
  EXPECT_EQ(base::FilePath(u"C:\\Profiles"), folder);

  // A stored path is never rebased.
  base::FilePath app_data;
  ASSERT_TRUE(base::PathService::Get(base::DIR_APP_DATA, &app_data));
  installation.RebaseDefaultProfilePath(app_data.AppendASCII("A"), &folder);
  EXPECT_EQ(app_data.AppendASCII("A"), folder);

  WritePrefs("{\"profile_path\": \"C:\\\\Profiles\\\\<USERNAME>\\\\x\"}");
  Installation below(folder_.path());
  const base::FilePath own_below(u"C:\\Profiles\\" + user_ + u"\\x");
  ASSERT_TRUE(below.GetUserDataFolder(&folder, true));
  EXPECT_EQ(own_below, folder);
  ASSERT_TRUE(below.GetUserDataFolder(&folder, false));
  EXPECT_EQ(own_below, folder);

  // The folder of every user's data is never a drive, a server, a share or
  // relative; a relative profile is none either.
  const struct {
    const char* stored;
    bool own_folder;
  } kRootless[] = {
      {"C:\\\\<USERNAME>", true},
      {"\\\\\\\\server\\\\<USERNAME>", false},
      {"\\\\\\\\server\\\\share\\\\<USERNAME>", true},
      {"C:\\\\Profiles\\\\..\\\\<USERNAME>", false},
      {"<USERNAME>", false},
      {"Profiles\\\\<USERNAME>", false},
  };
  for (const auto& row : kRootless) {
    SCOPED_TRACE(row.stored);
    WritePrefs(std::string("{\"profile_path\": \"") + row.stored + "\"}");
    Installation rootless(folder_.path());
    const base::FilePath before(u"unchanged");
    folder = before;
    EXPECT_EQ(row.own_folder, rootless.GetProfileFolder(&folder));
    EXPECT_EQ(row.own_folder, rootless.GetUserDataFolder(&folder, false));
    base::ScopedLogCapture log;
    folder = before;
    EXPECT_FALSE(rootless.GetUserDataFolder(&folder, true));
    EXPECT_EQ(before, folder);
    EXPECT_NE(std::string::npos, log.text.find(row.own_folder ? "No folder of every user's data"
                                                              : "no folder of its own"));
  }
}

TEST_F(InstallationTest, SingleProfileAndPrefTypes) {
  WritePrefs("{\"single_profile\": true, \"profile_path\": \"C:\\\\P\"}");
  Installation single(folder_.path());
  EXPECT_TRUE(single.IsSingleProfile());
  base::FilePath folder;
  for (bool users_root : {false, true}) {
    ASSERT_TRUE(single.GetUserDataFolder(&folder, users_root));
    EXPECT_EQ(folder_.path().AppendASCII("profile\\data"), folder);
  }

  // Values of the wrong type read as absent.
  WritePrefs("{\"single_profile\": \"true\", \"profile_path\": 5}");
  Installation mistyped(folder_.path());
  EXPECT_FALSE(mistyped.IsSingleProfile());
  EXPECT_TRUE(mistyped.profile_path().empty());
  string16 path;
  EXPECT_FALSE(mistyped.ReadProfilePathPref(&path));
  // A change written since is read.
  WritePrefs("{\"single_profile\": true}");
  EXPECT_TRUE(mistyped.IsSingleProfile());

  // Damaged prefs read as empty ones.
  WritePrefs("{\"single_profile\": tru");
  EXPECT_FALSE(Installation(folder_.path()).IsSingleProfile());
}

TEST_F(InstallationTest, InstallLog) {
  InstallLog given;
  given.copy_only = true;
  // A given log is taken as loaded: the folder's file is never read.
  EXPECT_TRUE(Installation(folder_.path(), given).IsCopyOnly());

  InstallLog saved;
  saved.copy_only = true;
  saved.all_users = false;
  saved.files = {u"a.dll"};
  ASSERT_TRUE(SaveLog(saved));
  Installation installation(folder_.path());
  EXPECT_TRUE(installation.IsCopyOnly());
  EXPECT_FALSE(installation.install_log().all_users);
  EXPECT_EQ(1u, installation.install_log().files.size());

  // A damaged file leaves the defaults and no half-read lists.
  const std::string damaged =
      "<?xml version=\"1.0\"?><installation copy_only=\"True\"><files>";
  ASSERT_EQ(static_cast<int>(damaged.size()),
            base::WriteFile(folder_.path().AppendASCII("installation_status.xml"),
                            damaged.data(), static_cast<int>(damaged.size())));
  Installation damaged_log(folder_.path());
  EXPECT_FALSE(damaged_log.IsCopyOnly());
  EXPECT_TRUE(damaged_log.install_log().all_users);
  EXPECT_TRUE(damaged_log.install_log().files.empty());
}

TEST_F(InstallationTest, InstallFolderOfExecutable) {
  const base::FilePath version = folder_.path().AppendASCII("61.0");
  ASSERT_TRUE(base::CreateDirectory(version));
  EXPECT_EQ(version, GetInstallFolderForExeFolder(version));
  ASSERT_EQ(1, base::WriteFile(folder_.path().AppendASCII("launcher.exe"), "x", 1));
  EXPECT_EQ(folder_.path(), GetInstallFolderForExeFolder(version));
  ASSERT_EQ(1, base::WriteFile(version.AppendASCII("launcher.exe"), "x", 1));
  EXPECT_EQ(version, GetInstallFolderForExeFolder(version));
}

TEST_F(InstallationTest, CurrentInstallationIsShared) {
  base::AtExitManager exit_manager;
  CurrentInstallation* first = nullptr;
  CurrentInstallation* second = nullptr;
  std::thread a([&first]() { first = Installation::GetCurrent(); });
  std::thread b([&second]() { second = GetCurrentInstallation(); });
  a.join();
  b.join();
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, Installation::GetCurrent());
  base::FilePath exe_folder;
  ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &exe_folder));
  EXPECT_EQ(GetInstallFolderForExeFolder(exe_folder), first->install_folder());
}

TEST_F(InstallationTest, PrefsTaskPoolWritesBeforeExit) {
  const base::FilePath file = folder_.path().AppendASCII("written.json");
  const base::FilePath late_file = folder_.path().AppendASCII("late.json");
  // Dropped by a clean-up registered before the pool was made, which runs
  // after the pool's: the pool's wait for it ends, and its write is kept.
  static base::scoped_refptr<base::JsonPrefStore> late;
  // Made by a clean-up after the pool's: written at once, no new pool.
  static base::FilePath after_exit_file;
  after_exit_file = folder_.path().AppendASCII("after_exit.json");
  base::ScopedLogCapture log;
  PrefsTaskPool* pool = nullptr;
  {
    // The store schedules its writes on this thread's loop.
    base::MessageLoop loop;
    base::AtExitManager exit_manager;
    base::AtExitManager::RegisterCallback(
        [](void*) {
          base::scoped_refptr<base::JsonPrefStore> store =
              GetPrefsTaskPool()->CreateJsonPrefStore(after_exit_file);
          store->SetValue("c", std::unique_ptr<base::Value>(new base::FundamentalValue(9)), 0);
          store->CommitPendingWrite();
        },
        nullptr);
    base::AtExitManager::RegisterCallback([](void*) { late = nullptr; }, nullptr);
    pool = GetPrefsTaskPool();
    EXPECT_EQ(pool, PrefsTaskPool::Get());
    pool->set_wait_for_idle(true);
    pool->set_idle_wait_limit_for_testing(base::TimeDelta());
    base::scoped_refptr<base::JsonPrefStore> store =
        pool->CreateJsonPrefStore(file);
    store->SetValue("a", std::unique_ptr<base::Value>(new base::FundamentalValue(7)), 0);
    store->CommitPendingWrite();
    store = nullptr;
    // Stores made and dropped on several threads at once, while the name
    // of another store's file is still being looked up (a slow share).
    // Its first look-up names its sequence, its third its count of writes.
    for (int look_up : {1, 3}) {
      std::vector<std::thread> threads;
      std::atomic<int> running{4};
      platform_rules::ScopedFaultInjection stall(look_up, ERROR_SUCCESS, "CreateFileW");
      stall.Interject([&] {
        for (int t = 0; t < 4; ++t) {
          threads.emplace_back([this, pool, t, &running] {
            // Kept, they make the pool's list of runners long.
            std::vector<base::scoped_refptr<base::JsonPrefStore>> kept;
            for (int i = 0; i < 500; ++i)
              kept.push_back(pool->CreateJsonPrefStore(folder_.path().AppendASCII(std::to_string(t) + ".json")));
            --running;
          });
        }
        for (int waited = 0; running && waited < 60000; waited += 10)
          ::Sleep(10);
        EXPECT_EQ(0, running.load());
      });
      pool->CreateJsonPrefStore(folder_.path().AppendASCII("stalled.json"));
      for (std::thread& thread : threads)
        thread.join();
    }
    late = pool->CreateJsonPrefStore(late_file);
    late->SetValue("b", std::unique_ptr<base::Value>(new base::FundamentalValue(8)), 0);
  }
  EXPECT_EQ(nullptr, late.get());
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(file, &text));
  EXPECT_EQ("{\"a\":7}", text);
  ASSERT_TRUE(base::ReadFileToString(late_file, &text));
  EXPECT_EQ("{\"b\":8}", text);
  ASSERT_TRUE(base::ReadFileToString(after_exit_file, &text));
  EXPECT_EQ("{\"c\":9}", text);
  EXPECT_EQ(pool, PrefsTaskPool::Get());
  EXPECT_NE(std::string::npos, log.text.find("Prefs pool still in use at exit, by the store of " +
                                             late_file.AsUTF8Unsafe()));
  EXPECT_EQ(std::string::npos, log.text.find("written.json"));
}

}  // namespace
}  // namespace installer
