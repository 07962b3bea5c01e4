#include <windows.h>

#include <utility>

#include "base/logging.h"

#include "base/pending_task.h"
#include "base/task_annotator.h"
#include "base/threading/post_task_and_reply_impl.h"
#include "base/threading/lazy_tls_value.h"
#include "base/threading/worker_pool.h"
#include "base/tracked_objects.h"

namespace base {

namespace {

internal::LazyTlsValue g_worker_pool_running_on_this_thread;

// The work item of every task.
DWORD CALLBACK WorkItemCallback(void* param) {
  PendingTask* pending_task = static_cast<PendingTask*>(param);
  {
    internal::ScopedTaskTraceEvent trace("WorkerThread::ThreadMain::Run",
                                        pending_task->posted_from);
    g_worker_pool_running_on_this_thread.Set(reinterpret_cast<void*>(1));

    tracked_objects::TaskStopwatch stopwatch;
    stopwatch.Start();
    pending_task->task.Run();
    stopwatch.Stop();

    g_worker_pool_running_on_this_thread.Set(nullptr);

    tracked_objects::ThreadData::TallyRunOnNamedThreadIfTracking(
        *pending_task, stopwatch);
    delete pending_task;
  }
  return 0;
}

class PostTaskAndReplyWorkerPool : public internal::PostTaskAndReplyImpl {
 public:
  explicit PostTaskAndReplyWorkerPool(bool task_is_slow)
      : task_is_slow_(task_is_slow) {}

 private:
  bool PostTask(const Location& from_here, Closure task) override {
    return WorkerPool::PostTask(from_here, std::move(task), task_is_slow_);
  }

  bool task_is_slow_;
};

}  // namespace

// static
bool WorkerPool::PostTask(const Location& from_here,
                          Closure task,
                          bool task_is_slow) {
  auto* pending_task = new PendingTask(from_here, std::move(task));
  ULONG flags = task_is_slow ? WT_EXECUTELONGFUNCTION : WT_EXECUTEDEFAULT;
  if (!::QueueUserWorkItem(&WorkItemCallback, pending_task, flags)) {
    PLOG(ERROR) << "QueueUserWorkItem failed";
    delete pending_task;
    return false;
  }
  return true;
}

// static
bool WorkerPool::PostTaskAndReply(const Location& from_here,
                                  Closure task,
                                  Closure reply,
                                  bool task_is_slow) {
  return PostTaskAndReplyWorkerPool(task_is_slow)
      .PostTaskAndReply(from_here, std::move(task), std::move(reply));
}

// static
bool WorkerPool::RunsTasksOnCurrentThread() {
  return g_worker_pool_running_on_this_thread.Get() != nullptr;
}

}  // namespace base
