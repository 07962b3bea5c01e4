#include "desktop/windows/installer/service/installation.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/no_op_task_runner.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/values.h"
#include "components/prefs/json_pref_store.h"
#include "desktop/windows/installer/branding.h"
#include "desktop/windows/installer/service/profile_path.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/service/win/xml_document.h"

namespace installer {

namespace {

const char kInstallerPrefsFile[] = "installer_prefs.json";
const char kInstallLogFile[] = "installation_status.xml";
const char kLauncherFile[] = "launcher.exe";
const char kProfilePathPref[] = "profile_path";
const char kSingleProfilePref[] = "single_profile";

constexpr uintptr_t kCreating = 1;

// How long the pool's exit clean-up waits for its stores to go: one whose
// owner is cleaned up after the pool would otherwise keep the process from
// ever ending.
constexpr int64_t kIdleWaitLimitMs = 5000;
constexpr DWORD kIdleWaitStepMs = 100;

std::atomic<uintptr_t> g_current_installation{0};
std::atomic<uintptr_t> g_prefs_task_pool{0};

// The instance in |word|, made by |create| on the first call; callers that
// race the creator yield until it is done.
template <typename T>
T* GetOrCreateInstance(std::atomic<uintptr_t>* word, T* (*create)()) {
  uintptr_t value = word->load(std::memory_order_acquire);
  if (value > kCreating)
    return reinterpret_cast<T*>(value);
  uintptr_t expected = 0;
  if (word->compare_exchange_strong(expected, kCreating,
                                    std::memory_order_acq_rel)) {
    T* instance = create();
    word->store(reinterpret_cast<uintptr_t>(instance),
                std::memory_order_release);
    return instance;
  }
  while ((value = word->load(std::memory_order_acquire)) == kCreating)
    ::Sleep(0);
  return reinterpret_cast<T*>(value);
}

void DeleteCurrentInstallation(void* unused) {
  uintptr_t value = g_current_installation.exchange(0);
  if (value > kCreating)
    delete reinterpret_cast<CurrentInstallation*>(value);
}

base::FilePath FindRunningInstallFolder() {
  base::FilePath folder;
  if (!base::PathService::Get(base::DIR_EXE, &folder))
    return folder;
  return GetInstallFolderForExeFolder(folder);
}

bool GetUserName(string16* name) {
  std::wstring user;
  if (!GetCurrentUserName(&user))
    return false;
  *name = as_u16cstr(user.c_str());
  return true;
}

}  // namespace

Installation::Installation() : install_folder_(FindRunningInstallFolder()) {
  Init();
}

Installation::Installation(const base::FilePath& install_folder)
    : install_folder_(install_folder) {
  Init();
}

Installation::Installation(const base::FilePath& install_folder,
                           const InstallLog& install_log)
    : install_folder_(install_folder),
      install_log_loaded_(true),
      install_log_(install_log) {
  Init();
}

Installation::~Installation() = default;

void Installation::Init() {
  if (!ReadProfilePathPref(&profile_path_))
    profile_path_.clear();
  registered_app_name_ = base::UTF8ToUTF16(GetProductName()) + u" " +
                         base::UTF8ToUTF16(GetStream());
}

// static
CurrentInstallation* Installation::GetCurrent() {
  return GetOrCreateInstance<CurrentInstallation>(
      &g_current_installation, []() {
        CurrentInstallation* installation = new CurrentInstallation();
        base::AtExitManager::RegisterCallback(&DeleteCurrentInstallation,
                                              nullptr);
        return installation;
      });
}

base::scoped_refptr<const base::JsonPrefStore> Installation::GetPrefStore() {
  if (!pref_store_) {
    pref_store_ = new base::JsonPrefStore(
        install_folder_.AppendASCII(kInstallerPrefsFile),
        new base::NoOpTaskRunner());
  }
  // Without an install folder the name would be found in the current
  // folder, where anyone may have put a file: the store stays empty. Read
  // at each call: a store of the prefs pool may have changed the file since,
  // and the read waits for the writes such stores handed to the pool.
  if (HasInstallFolder())
    pref_store_->ReadPrefs();
  return pref_store_;
}

bool Installation::HasInstallFolder() const {
  return install_folder_.IsAbsolute();
}

bool Installation::ReadProfilePathPref(string16* profile_path) {
  const base::Value* value = nullptr;
  return GetPrefStore()->GetValue(kProfilePathPref, &value) &&
         value->GetAsString(profile_path);
}

bool Installation::IsSingleProfile() {
  const base::Value* value = nullptr;
  bool single_profile = false;
  return GetPrefStore()->GetValue(kSingleProfilePref, &value) &&
         value->GetAsBoolean(&single_profile) && single_profile;
}

void Installation::LoadInstallLog() {
  if (install_log_loaded_)
    return;
  install_log_loaded_ = true;
  if (!HasInstallFolder())
    return;
  // The loader may leave a log half read on failure; read into a copy so
  // that a damaged file leaves the defaults with empty lists instead.
  InstallLog loaded = install_log_;
  XmlDocument document;
  if (InstallLog::LoadFromFile(&document, &loaded,
                               install_folder_.AppendASCII(kInstallLogFile))) {
    install_log_ = loaded;
    return;
  }
  install_log_.files.clear();
  install_log_.root_files.clear();
  install_log_.hklm_keys.clear();
  install_log_.hkcu_keys.clear();
}

bool Installation::IsCopyOnly() {
  LoadInstallLog();
  return install_log_.copy_only;
}

bool Installation::GetSingleProfileFolder(base::FilePath* folder) {
  if (!IsSingleProfile())
    return false;
  *folder = install_folder_.AppendASCII("profile");
  return true;
}

bool Installation::GetProfileFolder(base::FilePath* folder) {
  if (profile_path_.empty()) {
    base::FilePath app_data;
    if (!base::PathService::Get(base::DIR_APP_DATA, &app_data))
      return false;
    const std::string relative = ExpandDefaultProfilePath(
        Branding::GetDefaultProfilePathTemplate(), GetChannelName());
    *folder = app_data.Append(base::UTF8ToUTF16(relative));
    return true;
  }
  string16 path = profile_path_;
  if (path.find(kUserNamePlaceholder) != string16::npos) {
    string16 user_name;
    if (!GetUserName(&user_name))
      return false;
    path = ReplaceUserNamePlaceholder(path, user_name);
  }
  // A relative path would be found in whatever the current folder is.
  const base::FilePath stored(path);
  if (!IsFolderBelowVolumeRoot(stored)) {
    LOG(ERROR) << "Stored profile path is no folder of its own: " << stored.value();
    return false;
  }
  *folder = stored;
  return true;
}

bool Installation::GetUserDataFolder(base::FilePath* folder, bool users_root) {
  if (!HasInstallFolder())
    return false;
  if (GetSingleProfileFolder(folder)) {
    *folder = folder->AppendASCII("data");
    return true;
  }
  base::FilePath profile;
  if (!GetProfileFolder(&profile))
    return false;
  if (users_root && IsUserNameInLastComponent(profile_path_)) {
    // Callers list and remove what lies below it: never a whole drive,
    // server or share.
    const base::FilePath users = profile.DirName();
    if (!IsFolderBelowVolumeRoot(users)) {
      LOG(ERROR) << "No folder of every user's data above " << profile.value();
      return false;
    }
    profile = users;
  }
  *folder = profile;
  return true;
}

void Installation::RebaseDefaultProfilePath(const base::FilePath& in,
                                            base::FilePath* out) {
  *out = in;
  if (!profile_path_.empty())
    return;
  base::FilePath roaming;
  base::FilePath local;
  if (!base::PathService::Get(base::DIR_APP_DATA, &roaming) ||
      !base::PathService::Get(base::DIR_LOCAL_APP_DATA, &local)) {
    return;
  }
  base::FilePath rebased = local;
  if (roaming.AppendRelativePath(in, &rebased))
    *out = rebased;
}

CurrentInstallation::CurrentInstallation() = default;

CurrentInstallation::CurrentInstallation(const base::FilePath& install_folder)
    : Installation(install_folder) {}

CurrentInstallation::CurrentInstallation(const base::FilePath& install_folder,
                                         const InstallLog& install_log)
    : Installation(install_folder, install_log) {}

CurrentInstallation::~CurrentInstallation() = default;

base::FilePath GetInstallFolderForExeFolder(const base::FilePath& exe_folder) {
  if (!base::PathExists(exe_folder.AppendASCII(kLauncherFile))) {
    base::FilePath parent = exe_folder.DirName();
    if (base::PathExists(parent.AppendASCII(kLauncherFile)))
      return parent;
  }
  return exe_folder;
}

CurrentInstallation* GetCurrentInstallation() {
  return Installation::GetCurrent();
}

PrefsTaskPool::PrefsTaskPool()
    : idle_wait_limit_(base::TimeDelta::FromMilliseconds(kIdleWaitLimitMs)),
      pool_(new base::SequencedWorkerPool(1, "PrefsTaskPool", 0)) {}

PrefsTaskPool::~PrefsTaskPool() = default;

// static
PrefsTaskPool* PrefsTaskPool::Get() {
  return GetOrCreateInstance<PrefsTaskPool>(&g_prefs_task_pool, []() {
    PrefsTaskPool* pool = new PrefsTaskPool();
    base::AtExitManager::RegisterCallback(&PrefsTaskPool::DestroyInstance,
                                          nullptr);
    return pool;
  });
}

// static
void PrefsTaskPool::DestroyInstance(void* unused) {
  // The instance stays for the rest of the process: a clean-up that runs
  // after this one, or another thread, may still make a store, which must
  // neither meet a deleted instance nor make a pool that no one shuts down.
  uintptr_t value = g_prefs_task_pool.load(std::memory_order_acquire);
  if (value > kCreating)
    reinterpret_cast<PrefsTaskPool*>(value)->Shutdown();
}

base::scoped_refptr<base::JsonPrefStore> PrefsTaskPool::CreateJsonPrefStore(
    const base::FilePath& path) {
  base::scoped_refptr<base::SequencedTaskRunner> runner;
  // Named before the lock: a file on a stalled share holds up no other.
  const std::string sequence =
      base::JsonPrefStore::GetSequenceNameForFile(path);
  {
    base::AutoLock auto_lock(lock_);
    if (pool_) {
      IsIdle();
      runner =
          base::JsonPrefStore::GetTaskRunnerForSequence(sequence, pool_.get());
      store_runners_.push_back(StoreRunner{path, runner});
    } else {
      // Shut down: the store writes at once on the thread that saves.
      runner = new base::NoOpTaskRunner();
    }
  }
  base::scoped_refptr<base::JsonPrefStore> store =
      new base::JsonPrefStore(path, runner);
  store->ReadPrefs();
  return store;
}

void PrefsTaskPool::Shutdown() {
  base::scoped_refptr<base::SequencedWorkerPool> pool;
  {
    base::AutoLock auto_lock(lock_);
    pool = pool_;
  }
  // A second call (the entry point's, then the at-exit one) finds no pool.
  if (!pool)
    return;
  pool->Shutdown(0);
  pool = nullptr;
  base::AutoLock auto_lock(lock_);
  if (wait_for_idle_) {
    const int64_t steps = idle_wait_limit_.InMilliseconds() / kIdleWaitStepMs;
    for (int64_t step = 0; !IsIdle(); ++step) {
      if (step >= steps) {
        LOG(ERROR) << "Prefs pool still in use at exit, by " << DescribeUsers();
        break;
      }
      base::AutoUnlock auto_unlock(lock_);
      ::Sleep(kIdleWaitStepMs);
    }
  }
  store_runners_.clear();
  pool_ = nullptr;
}

bool PrefsTaskPool::IsIdle() {
  store_runners_.erase(
      std::remove_if(store_runners_.begin(), store_runners_.end(),
                     [](const StoreRunner& store_runner) {
                       return store_runner.runner->HasOneRef();
                     }),
      store_runners_.end());
  return store_runners_.empty() && pool_->HasOneRef();
}

std::string PrefsTaskPool::DescribeUsers() const {
  if (store_runners_.empty())
    return "runners not made for a store";
  std::string users;
  for (const StoreRunner& store_runner : store_runners_) {
    if (!users.empty())
      users += ", ";
    users += "the store of " + store_runner.path.AsUTF8Unsafe();
  }
  return users;
}

PrefsTaskPool* GetPrefsTaskPool() {
  return PrefsTaskPool::Get();
}

}  // namespace installer
