#ifndef BASE_THREADING_THREAD_ID_NAME_MANAGER_H_
#define BASE_THREADING_THREAD_ID_NAME_MANAGER_H_

#include <map>
#include <string>

#include "base/synchronization/lock.h"
#include "base/threading/platform_thread.h"

namespace base {

template <typename T>
class LazyInstance;

// The process-wide table of thread names. Names are interned and never
// freed, so a returned name stays valid for the life of the process.
class ThreadIdNameManager {
 public:
  static ThreadIdNameManager* GetInstance();

  ThreadIdNameManager(const ThreadIdNameManager&) = delete;
  ThreadIdNameManager& operator=(const ThreadIdNameManager&) = delete;

  // A thread started by PlatformThread, with no name yet.
  void RegisterThread(PlatformThreadHandle handle, PlatformThreadId id);
  // A thread not registered above (the main thread) becomes the main
  // thread's entry.
  void SetName(PlatformThreadId id, const std::string& name);
  // "" for ids that were never named.
  const char* GetName(PlatformThreadId id);
  // Leaves the id's entry alone when a newer thread has reused the id.
  void RemoveName(PlatformThreadHandle handle, PlatformThreadId id);

 private:
  friend class LazyInstance<ThreadIdNameManager>;

  ThreadIdNameManager();
  ~ThreadIdNameManager() = delete;

  const std::string* InternLocked(const std::string& name);

  Lock lock_;
  std::map<std::string, const std::string*> name_to_interned_name_;
  std::map<PlatformThreadId, PlatformThreadHandle> thread_id_to_handle_;
  std::map<PlatformThreadHandle, const std::string*> thread_handle_to_interned_name_;
  const std::string* main_process_name_ = nullptr;
  PlatformThreadId main_process_id_ = 0;
  const std::string* empty_name_ = nullptr;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_ID_NAME_MANAGER_H_
