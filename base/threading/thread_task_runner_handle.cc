#include "base/threading/thread_task_runner_handle.h"

#include <utility>

#include "base/logging.h"
#include "base/threading/thread_local.h"

namespace base {

namespace {

ThreadLocalPointer<ThreadTaskRunnerHandle>& CurrentHandle() {
  static ThreadLocalPointer<ThreadTaskRunnerHandle>* slot =
      new ThreadLocalPointer<ThreadTaskRunnerHandle>();
  return *slot;
}

}  // namespace

// static
scoped_refptr<SingleThreadTaskRunner> ThreadTaskRunnerHandle::Get() {
  ThreadTaskRunnerHandle* current = CurrentHandle().Get();
  CHECK(current);
  return current->task_runner_;
}

// static
bool ThreadTaskRunnerHandle::IsSet() {
  return CurrentHandle().Get() != nullptr;
}

ThreadTaskRunnerHandle::ThreadTaskRunnerHandle(
    scoped_refptr<SingleThreadTaskRunner> task_runner)
    : task_runner_(std::move(task_runner)) {
  CurrentHandle().Set(this);
}

ThreadTaskRunnerHandle::~ThreadTaskRunnerHandle() {
  if (CurrentHandle().Get() == this)
    CurrentHandle().Set(nullptr);
}

}  // namespace base
