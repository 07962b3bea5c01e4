#include "base/threading/thread_id_name_manager.h"

#include "base/lazy_instance.h"

namespace base {

namespace {

LazyInstance<ThreadIdNameManager> g_thread_id_name_manager;

}  // namespace

ThreadIdNameManager* ThreadIdNameManager::GetInstance() {
  return g_thread_id_name_manager.Pointer();
}

ThreadIdNameManager::ThreadIdNameManager() {
  AutoLock hold(lock_);
  empty_name_ = InternLocked(std::string());
}

const std::string* ThreadIdNameManager::InternLocked(const std::string& name) {
  auto found = name_to_interned_name_.find(name);
  if (found != name_to_interned_name_.end())
    return found->second;
  // Deliberately never freed: callers keep the pointers.
  const std::string* interned = new std::string(name);
  name_to_interned_name_[name] = interned;
  return interned;
}

void ThreadIdNameManager::RegisterThread(PlatformThreadHandle handle, PlatformThreadId id) {
  AutoLock hold(lock_);
  thread_id_to_handle_[id] = handle;
  thread_handle_to_interned_name_[handle] = empty_name_;
}

void ThreadIdNameManager::SetName(PlatformThreadId id, const std::string& name) {
  AutoLock hold(lock_);
  const std::string* interned = InternLocked(name);
  auto found = thread_id_to_handle_.find(id);
  if (found == thread_id_to_handle_.end()) {
    main_process_id_ = id;
    main_process_name_ = interned;
    return;
  }
  thread_handle_to_interned_name_[found->second] = interned;
}

const char* ThreadIdNameManager::GetName(PlatformThreadId id) {
  AutoLock hold(lock_);
  if (main_process_name_ && id == main_process_id_)
    return main_process_name_->c_str();
  auto handle = thread_id_to_handle_.find(id);
  if (handle == thread_id_to_handle_.end())
    return empty_name_->c_str();
  auto name = thread_handle_to_interned_name_.find(handle->second);
  if (name == thread_handle_to_interned_name_.end())
    return empty_name_->c_str();
  return name->second->c_str();
}

void ThreadIdNameManager::RemoveName(PlatformThreadHandle handle, PlatformThreadId id) {
  AutoLock hold(lock_);
  thread_handle_to_interned_name_.erase(handle);
  auto found = thread_id_to_handle_.find(id);
  if (found != thread_id_to_handle_.end() && found->second == handle)
    thread_id_to_handle_.erase(found);
}

}  // namespace base
