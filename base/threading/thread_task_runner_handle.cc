#include "base/threading/thread_task_runner_handle.h"

#include <utility>

#include "base/logging.h"
#include "base/threading/lazy_tls_value.h"

namespace base {

namespace {

internal::LazyTlsValue g_current_handle;

ThreadTaskRunnerHandle* CurrentHandle() {
  return static_cast<ThreadTaskRunnerHandle*>(g_current_handle.Get());
}

}  // namespace

// static
scoped_refptr<SingleThreadTaskRunner> ThreadTaskRunnerHandle::Get() {
  ThreadTaskRunnerHandle* current = CurrentHandle();
  CHECK(current);
  return current->task_runner_;
}

// static
bool ThreadTaskRunnerHandle::IsSet() {
  return CurrentHandle() != nullptr;
}

ThreadTaskRunnerHandle::ThreadTaskRunnerHandle(
    scoped_refptr<SingleThreadTaskRunner> task_runner)
    : task_runner_(std::move(task_runner)) {
  g_current_handle.Set(this);
}

ThreadTaskRunnerHandle::~ThreadTaskRunnerHandle() {
  if (CurrentHandle() == this)
    g_current_handle.Set(nullptr);
}

}  // namespace base
