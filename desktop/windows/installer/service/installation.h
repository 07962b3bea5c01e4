#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLATION_H_

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"
#include "base/strings/string16.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "desktop/windows/installer/service/install_log.h"

namespace base {
class JsonPrefStore;
class SequencedWorkerPool;
}  // namespace base

namespace installer {

class CurrentInstallation;

// One installed copy of the browser: its folder, its installer prefs
// ("installer_prefs.json", only ever read), its install log and where its
// profile lives. Not synchronised: one thread uses an object at a time.
class Installation {
 public:
  // The copy that the running executable belongs to.
  Installation();
  explicit Installation(const base::FilePath& install_folder);
  // Takes |install_log| as already loaded: the folder's file is never read.
  Installation(const base::FilePath& install_folder,
               const InstallLog& install_log);
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;
  virtual ~Installation();

  // The process-wide installation of the running executable, created on
  // first use and destroyed by the at-exit manager.
  static CurrentInstallation* GetCurrent();

  // The installer prefs, read once. The store is handed out read-only: its
  // task runner refuses writes, yet a store whose posting fails writes on
  // the calling thread instead, so a change made here would reach the disk.
  base::scoped_refptr<const base::JsonPrefStore> GetPrefStore();

  // True when "profile_path" exists and is a string.
  bool ReadProfilePathPref(string16* profile_path);
  bool IsSingleProfile();
  // Reads "installation_status.xml" on the first call only.
  void LoadInstallLog();
  bool IsCopyOnly();

  bool GetSingleProfileFolder(base::FilePath* folder);
  bool GetProfileFolder(base::FilePath* folder);
  // The folder of the browser's user data; with |users_root| the folder
  // that holds every user's profile when the profile path is per user.
  bool GetUserDataFolder(base::FilePath* folder, bool users_root);
  // Moves a default profile path from the roaming to the local application
  // data; a stored profile path is left alone.
  void RebaseDefaultProfilePath(const base::FilePath& in, base::FilePath* out);

  // Default browser.
  bool IsDefaultBrowser();
  bool IsDefaultHandlerFor(const string16& name, bool by_exe_name);
  bool IsDefaultStartMenuInternet();
  void RememberPreviousDefaultBrowser(bool machine);
  bool MakeDefaultBrowser(bool machine);
  bool RegisterBrowserProgId(bool machine);
  bool RegisterHandler(const string16& name, bool machine);
  bool RegisterStartMenuInternet(bool machine);

  const base::FilePath& install_folder() const { return install_folder_; }
  const string16& profile_path() const { return profile_path_; }
  const InstallLog& install_log() const { return install_log_; }
  const string16& registered_app_name() const { return registered_app_name_; }

 private:
  void Init();
  // Whether there is an install folder to read from and register; without
  // one a relative name would be found in the current folder.
  bool HasInstallFolder() const;
  // HasInstallFolder(), logged when there is none.
  bool CanRegister() const;

  base::scoped_refptr<base::JsonPrefStore> pref_store_;
  base::FilePath install_folder_;
  string16 profile_path_;
  bool install_log_loaded_ = false;
  InstallLog install_log_;
  string16 registered_app_name_;
};

class CurrentInstallation : public Installation {
 public:
  explicit CurrentInstallation(const base::FilePath& install_folder);
  CurrentInstallation(const base::FilePath& install_folder,
                      const InstallLog& install_log);
  ~CurrentInstallation() override;

 private:
  friend class Installation;
  CurrentInstallation();
};

CurrentInstallation* GetCurrentInstallation();

// The install folder of an executable in |exe_folder|: the folder itself, or
// its parent when only the parent holds the launcher (the executable then
// runs from a version folder).
base::FilePath GetInstallFolderForExeFolder(const base::FilePath& exe_folder);

// The process-wide one-thread pool on which the installer writes its JSON
// pref files.
class PrefsTaskPool {
 public:
  PrefsTaskPool(const PrefsTaskPool&) = delete;
  PrefsTaskPool& operator=(const PrefsTaskPool&) = delete;

  static PrefsTaskPool* Get();
  // At exit: Shutdown. The instance is kept.
  static void DestroyInstance(void* unused);

  // A store of |path| that writes on the pool (once the pool is shut down,
  // on the thread that saves), already read.
  base::scoped_refptr<base::JsonPrefStore> CreateJsonPrefStore(
      const base::FilePath& path);

  // Runs every pending write, then (with wait_for_idle) waits a bounded
  // time until every store and runner of the pool is gone, and lets the
  // pool go. A store still alive then writes on the thread that lets it go.
  void Shutdown();

  void set_wait_for_idle(bool wait_for_idle) { wait_for_idle_ = wait_for_idle; }
  void set_idle_wait_limit_for_testing(base::TimeDelta limit) {
    idle_wait_limit_ = limit;
  }

 private:
  // The runner handed to the store of one file.
  struct StoreRunner {
    base::FilePath path;
    base::scoped_refptr<base::SequencedTaskRunner> runner;
  };

  PrefsTaskPool();
  ~PrefsTaskPool();

  // Forgets the runners whose stores are gone; true when nothing but this
  // object holds the pool. Called with |lock_| held.
  bool IsIdle();
  // The files whose stores still hold the pool, for the log. Called with
  // |lock_| held.
  std::string DescribeUsers() const;

  bool wait_for_idle_ = false;
  base::TimeDelta idle_wait_limit_;
  // Stores are made on any thread: the pool and the runners are guarded.
  base::Lock lock_;
  base::scoped_refptr<base::SequencedWorkerPool> pool_;
  std::vector<StoreRunner> store_runners_;
};

PrefsTaskPool* GetPrefsTaskPool();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLATION_H_
