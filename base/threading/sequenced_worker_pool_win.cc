#include "base/threading/sequenced_worker_pool.h"

#include <atomic>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/logging.h"

#include "base/metrics/histogram.h"
#include "base/metrics/histogram_base.h"
#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "base/task_annotator.h"
#include "base/threading/lazy_tls_value.h"
#include "base/threading/platform_thread.h"
#include "base/threading/simple_thread.h"
#include "base/threading/thread_internal.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/threading/worker_pool.h"
#include "base/tracked_objects.h"

namespace base {

namespace {

// Named tokens of every pool come from one counter.
std::atomic<uint32_t> g_last_sequence_token_id{0};

// Set, under the creating pool's lock, once any pool has decided to start a
// worker: until then Shutdown has nothing to wait for.
std::atomic<bool> g_worker_created{false};

internal::LazyTlsValue g_current_worker;

std::atomic<size_t> g_worker_stack_size{0};

SimpleThread::Options WorkerOptions() {
  SimpleThread::Options options;
  options.stack_size = g_worker_stack_size;
  return options;
}

struct SequencedTask : public tracked_objects::TrackingInfo {
  SequencedTask(const Location& from_here, TimeTicks time_to_run)
      : TrackingInfo(from_here, TimeTicks()),
        posted_from(from_here),
        time_to_run(time_to_run) {}

  uint32_t sequence_token_id = 0;
  uint32_t trace_id = 0;
  int64_t sequence_task_number = 0;
  SequencedWorkerPool::WorkerShutdown shutdown_behavior =
      SequencedWorkerPool::BLOCK_SHUTDOWN;
  Location posted_from;
  // Mutable: moved out of the ordered set just before the entry is erased.
  mutable Closure task;
  TimeTicks time_to_run;
};

struct SequencedTaskLess {
  bool operator()(const SequencedTask& a, const SequencedTask& b) const {
    if (a.time_to_run != b.time_to_run)
      return a.time_to_run < b.time_to_run;
    return a.sequence_task_number < b.sequence_task_number;
  }
};

// A runner for one sequence of a pool.
class SequencedWorkerPoolSequencedTaskRunner : public SequencedTaskRunner {
 public:
  SequencedWorkerPoolSequencedTaskRunner(
      scoped_refptr<SequencedWorkerPool> pool,
      SequencedWorkerPool::SequenceToken token,
      SequencedWorkerPool::WorkerShutdown shutdown_behavior)
      : pool_(std::move(pool)),
        token_(token),
        shutdown_behavior_(shutdown_behavior) {}

  bool PostDelayedTask(const Location& from_here,
                       Closure task,
                       TimeDelta delay) override {
    // A delayed task cannot hold up shutdown.
    SequencedWorkerPool::WorkerShutdown behavior =
        delay.is_zero() ? shutdown_behavior_
                        : SequencedWorkerPool::SKIP_ON_SHUTDOWN;
    return pool_->PostSequencedTask(token_, behavior, from_here,
                                    std::move(task), delay);
  }

  bool RunsTasksOnCurrentThread() const override {
    return pool_->IsRunningSequenceOnCurrentThread(token_);
  }

  bool MayRunTasksOnCurrentThread() const override {
    return pool_->RunsTasksOnCurrentThread();
  }

  bool PostNonNestableDelayedTask(const Location& from_here,
                                  Closure task,
                                  TimeDelta delay) override {
    return PostDelayedTask(from_here, std::move(task), delay);
  }

 private:
  ~SequencedWorkerPoolSequencedTaskRunner() override = default;

  const scoped_refptr<SequencedWorkerPool> pool_;
  const SequencedWorkerPool::SequenceToken token_;
  const SequencedWorkerPool::WorkerShutdown shutdown_behavior_;
};

}  // namespace

//------------------------------------------------------------------------------

class SequencedWorkerPool::Worker : public SimpleThread {
 public:
  Worker(scoped_refptr<SequencedWorkerPool> pool, int thread_number,
         const std::string& prefix)
      : SimpleThread(prefix + "Worker" + std::to_string(thread_number),
                     WorkerOptions()),
        pool_(pool.get()),
        pool_ref_(std::move(pool)) {}

  static Worker* GetForCurrentThread() {
    return static_cast<Worker*>(g_current_worker.Get());
  }

  // SimpleThread:
  void Run() override;

  // The pool this worker belongs to, also once the reference is dropped.
  SequencedWorkerPool* pool() const { return pool_; }
  scoped_refptr<SequencedWorkerPool> pool_ref() const { return pool_ref_; }

  void SetRunningTask(uint32_t token, WorkerShutdown behavior) {
    task_sequence_token_ = token;
    task_shutdown_behavior_ = behavior;
    is_processing_task_ = true;
  }
  void ResetRunningTask() {
    task_sequence_token_ = 0;
    is_processing_task_ = false;
  }
  uint32_t task_sequence_token() const { return task_sequence_token_; }
  WorkerShutdown task_shutdown_behavior() const {
    return task_shutdown_behavior_;
  }
  bool is_processing_task() const { return is_processing_task_; }

 private:
  SequencedWorkerPool* const pool_;
  scoped_refptr<SequencedWorkerPool> pool_ref_;
  uint32_t task_sequence_token_ = 0;
  WorkerShutdown task_shutdown_behavior_ = BLOCK_SHUTDOWN;
  bool is_processing_task_ = false;
};

//------------------------------------------------------------------------------

class SequencedWorkerPool::Inner {
 public:
  Inner(SequencedWorkerPool* pool,
        size_t max_threads,
        const std::string& thread_name_prefix)
      : pool_(pool),
        has_work_(&lock_),
        can_shutdown_(&lock_),
        max_threads_(max_threads),
        thread_name_prefix_(thread_name_prefix) {}

  ~Inner();

  SequenceToken GetNamedSequenceToken(const std::string& name);
  bool PostTask(SequenceToken token,
                WorkerShutdown shutdown_behavior,
                const Location& from_here,
                Closure task,
                TimeDelta delay);
  bool RunsTasksOnCurrentThread() const;
  bool IsRunningSequenceOnCurrentThread(SequenceToken token) const;
  void Shutdown(int max_new_blocking_tasks_after_shutdown);
  void ThreadLoop(Worker* worker);

 private:
  enum GetWorkStatus { GET_WORK_FOUND, GET_WORK_NOT_FOUND, GET_WORK_WAIT };

  using TaskSet = std::set<SequencedTask, SequencedTaskLess>;

  bool IsWorkerOfThisPool(const Worker* worker) const;
  // Ties a task's post and run events together.
  uint64_t FlowId(uint32_t trace_id) const {
    return (static_cast<uint64_t>(trace_id) << 32) |
           static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this));
  }
  // Under the lock: the number of the worker to start now, or 0.
  int PrepareToStartAdditionalThreadIfHelpful();
  void FinishStartingAdditionalThread(int thread_number);
  GetWorkStatus GetWork(std::optional<SequencedTask>* task,
                        TimeDelta* wait_time,
                        std::vector<Closure>* delete_these_outside_lock);
  bool CanShutdown() const;
  // Under the lock: pending tasks no worker will ever run.
  void DropStrandedTasks(std::vector<Closure>* delete_these_outside_lock);

  SequencedWorkerPool* const pool_;
  mutable Lock lock_;
  ConditionVariable has_work_;
  ConditionVariable can_shutdown_;
  const size_t max_threads_;
  const std::string thread_name_prefix_;
  std::map<std::string, uint32_t> named_sequence_tokens_;
  std::map<PlatformThreadId, std::unique_ptr<Worker>> threads_;
  bool thread_being_created_ = false;
  // Workers inside their loops; after shutdown only they can run a task.
  size_t live_worker_count_ = 0;
  size_t waiting_thread_count_ = 0;
  size_t blocking_shutdown_thread_count_ = 0;
  TaskSet pending_tasks_;
  int64_t next_sequence_task_number_ = 0;
  size_t blocking_shutdown_pending_task_count_ = 0;
  std::set<uint32_t> current_sequences_;
  uint32_t next_trace_id_ = 0;
  bool shutdown_called_ = false;
  int max_blocking_tasks_after_shutdown_ = 0;
};

SequencedWorkerPool::Inner::~Inner() {
  // Workers hold a reference to the pool until they leave their loops, so
  // they have all left by now.
  for (auto& entry : threads_)
    entry.second->Join();
  threads_.clear();
}

SequencedWorkerPool::SequenceToken
SequencedWorkerPool::Inner::GetNamedSequenceToken(const std::string& name) {
  AutoLock lock(lock_);
  auto found = named_sequence_tokens_.find(name);
  if (found != named_sequence_tokens_.end())
    return SequenceToken(found->second);
  uint32_t id = ++g_last_sequence_token_id;
  named_sequence_tokens_[name] = id;
  return SequenceToken(id);
}

bool SequencedWorkerPool::Inner::IsWorkerOfThisPool(
    const Worker* worker) const {
  return worker && worker->pool() == pool_;
}

bool SequencedWorkerPool::Inner::PostTask(SequenceToken token,
                                          WorkerShutdown shutdown_behavior,
                                          const Location& from_here,
                                          Closure task,
                                          TimeDelta delay) {
  SequencedTask sequenced(from_here, TimeTicks::Now() + delay);
  sequenced.sequence_token_id = token.id();
  sequenced.shutdown_behavior = shutdown_behavior;
  sequenced.task = std::move(task);

  int create_thread_id = 0;
  {
    AutoLock lock(lock_);
    if (shutdown_called_) {
      const Worker* worker = Worker::GetForCurrentThread();
      bool refused;
      if (shutdown_behavior != BLOCK_SHUTDOWN) {
        refused = true;
      } else if (IsWorkerOfThisPool(worker) &&
                 worker->task_shutdown_behavior() != BLOCK_SHUTDOWN) {
        refused = true;
      } else if (live_worker_count_ == 0) {
        // Every worker has left its loop: the task would never run.
        refused = true;
      } else if (max_blocking_tasks_after_shutdown_ > 0) {
        --max_blocking_tasks_after_shutdown_;
        refused = false;
      } else {
        refused = true;
      }
      if (refused) {
        AutoUnlock unlock(lock_);
        sequenced.task.Reset();
        return false;
      }
    }

    sequenced.trace_id = next_trace_id_++;
    internal::TraceFlowOut("SequencedWorkerPool::Inner::PostTask",
                           FlowId(sequenced.trace_id));
    sequenced.sequence_task_number = next_sequence_task_number_++;
    if (shutdown_behavior == BLOCK_SHUTDOWN)
      ++blocking_shutdown_pending_task_count_;
    pending_tasks_.insert(std::move(sequenced));
    create_thread_id = PrepareToStartAdditionalThreadIfHelpful();
  }

  if (create_thread_id)
    FinishStartingAdditionalThread(create_thread_id);
  else
    has_work_.Signal();
  return true;
}

bool SequencedWorkerPool::Inner::RunsTasksOnCurrentThread() const {
  AutoLock lock(lock_);
  return IsWorkerOfThisPool(Worker::GetForCurrentThread());
}

bool SequencedWorkerPool::Inner::IsRunningSequenceOnCurrentThread(
    SequenceToken token) const {
  AutoLock lock(lock_);
  const Worker* worker = Worker::GetForCurrentThread();
  return IsWorkerOfThisPool(worker) && worker->is_processing_task() &&
         worker->task_sequence_token() == token.id();
}

int SequencedWorkerPool::Inner::PrepareToStartAdditionalThreadIfHelpful() {
  if (shutdown_called_ || thread_being_created_ ||
      threads_.size() >= max_threads_ || waiting_thread_count_ != 0) {
    return 0;
  }
  for (const SequencedTask& task : pending_tasks_) {
    if (task.sequence_token_id == 0 ||
        current_sequences_.count(task.sequence_token_id) == 0) {
      thread_being_created_ = true;
      g_worker_created = true;
      return static_cast<int>(threads_.size() + 1);
    }
  }
  return 0;
}

void SequencedWorkerPool::Inner::FinishStartingAdditionalThread(
    int thread_number) {
  auto worker = std::make_unique<Worker>(scoped_refptr<SequencedWorkerPool>(pool_),
                                         thread_number, thread_name_prefix_);
  Worker* started = worker.get();
  if (started->Start()) {
    // The worker owns itself through the map from its loop on.
    worker.release();
    return;
  }
  LOG(ERROR) << "Failed to start worker " << thread_number << " of "
             << thread_name_prefix_;
  std::vector<Closure> delete_these_outside_lock;
  {
    AutoLock lock(lock_);
    // The next post may try again; Shutdown must not wait for this one.
    thread_being_created_ = false;
    if (shutdown_called_)
      DropStrandedTasks(&delete_these_outside_lock);
    can_shutdown_.Signal();
  }
}

SequencedWorkerPool::Inner::GetWorkStatus SequencedWorkerPool::Inner::GetWork(
    std::optional<SequencedTask>* task,
    TimeDelta* wait_time,
    std::vector<Closure>* delete_these_outside_lock) {
  TimeTicks now = TimeTicks::Now();
  auto it = pending_tasks_.begin();
  while (it != pending_tasks_.end()) {
    if (it->sequence_token_id != 0 &&
        current_sequences_.count(it->sequence_token_id) != 0) {
      ++it;  // Its sequence is busy.
      continue;
    }
    if (shutdown_called_ && it->shutdown_behavior != BLOCK_SHUTDOWN) {
      delete_these_outside_lock->push_back(std::move(it->task));
      it = pending_tasks_.erase(it);
      continue;
    }
    if (it->time_to_run > now) {
      *wait_time = it->time_to_run - now;
      return GET_WORK_WAIT;
    }
    auto node = pending_tasks_.extract(it);
    task->emplace(std::move(node.value()));
    if ((*task)->shutdown_behavior == BLOCK_SHUTDOWN)
      --blocking_shutdown_pending_task_count_;
    return GET_WORK_FOUND;
  }
  return GET_WORK_NOT_FOUND;
}

bool SequencedWorkerPool::Inner::CanShutdown() const {
  return !thread_being_created_ && blocking_shutdown_thread_count_ == 0 &&
         blocking_shutdown_pending_task_count_ == 0;
}

void SequencedWorkerPool::Inner::DropStrandedTasks(
    std::vector<Closure>* delete_these_outside_lock) {
  if (live_worker_count_ != 0 || thread_being_created_)
    return;
  if (!pending_tasks_.empty())
    LOG(ERROR) << "No worker left to run " << pending_tasks_.size()
               << " tasks of " << thread_name_prefix_;
  for (const SequencedTask& task : pending_tasks_)
    delete_these_outside_lock->push_back(std::move(task.task));
  pending_tasks_.clear();
  blocking_shutdown_pending_task_count_ = 0;
}

void SequencedWorkerPool::Inner::ThreadLoop(Worker* worker) {
  std::vector<Closure> delete_these_outside_lock;
  AutoLock lock(lock_);
  thread_being_created_ = false;
  threads_[worker->tid()].reset(worker);
  ++live_worker_count_;

  for (;;) {
    std::optional<SequencedTask> found;
    TimeDelta wait_time;
    GetWorkStatus status =
        GetWork(&found, &wait_time, &delete_these_outside_lock);
    if (status == GET_WORK_FOUND) {
      SequencedTask& task = *found;
      internal::ScopedTaskTraceEvent trace(
          "SequencedWorkerPool::Inner::ThreadLoop", task.posted_from,
          FlowId(task.trace_id));
      if (task.sequence_token_id)
        current_sequences_.insert(task.sequence_token_id);
      if (task.shutdown_behavior != CONTINUE_ON_SHUTDOWN)
        ++blocking_shutdown_thread_count_;
      int new_thread_id = PrepareToStartAdditionalThreadIfHelpful();
      {
        AutoUnlock unlock(lock_);
        has_work_.Signal();
        delete_these_outside_lock.clear();
        if (new_thread_id)
          FinishStartingAdditionalThread(new_thread_id);

        worker->SetRunningTask(task.sequence_token_id, task.shutdown_behavior);
        tracked_objects::TaskStopwatch stopwatch;
        stopwatch.Start();
        task.task.Run();
        stopwatch.Stop();
        tracked_objects::ThreadData::TallyRunOnNamedThreadIfTracking(
            task, stopwatch);
        // Its destruction may post tasks: not under the lock.
        task.task.Reset();
        worker->ResetRunningTask();
      }
      if (task.shutdown_behavior != CONTINUE_ON_SHUTDOWN)
        --blocking_shutdown_thread_count_;
      if (task.sequence_token_id)
        current_sequences_.erase(task.sequence_token_id);
      if (shutdown_called_ && CanShutdown())
        can_shutdown_.Signal();
      continue;
    }

    if (shutdown_called_ && blocking_shutdown_pending_task_count_ == 0)
      break;
    if (!delete_these_outside_lock.empty()) {
      AutoUnlock unlock(lock_);
      delete_these_outside_lock.clear();
      continue;
    }
    ++waiting_thread_count_;
    if (status == GET_WORK_NOT_FOUND)
      has_work_.Wait();
    else
      has_work_.TimedWait(wait_time);
    --waiting_thread_count_;
  }

  --live_worker_count_;
  {
    AutoUnlock unlock(lock_);
    delete_these_outside_lock.clear();
  }
  // The next waiting worker also sees the shutdown and leaves.
  has_work_.Signal();
  can_shutdown_.Signal();
}

void SequencedWorkerPool::Inner::Shutdown(
    int max_new_blocking_tasks_after_shutdown) {
  std::vector<Closure> delete_these_outside_lock;
  TimeTicks shutdown_wait_begin;
  {
    AutoLock lock(lock_);
    if (shutdown_called_)
      return;
    shutdown_called_ = true;
    if (!g_worker_created)
      return;
    max_blocking_tasks_after_shutdown_ = max_new_blocking_tasks_after_shutdown;
    has_work_.Signal();
    DropStrandedTasks(&delete_these_outside_lock);
    if (CanShutdown())
      return;

    shutdown_wait_begin = TimeTicks::Now();
    while (!CanShutdown()) {
      can_shutdown_.Wait();
      // A worker that failed to start leaves tasks nobody will run.
      DropStrandedTasks(&delete_these_outside_lock);
    }
  }
  static HistogramBase* histogram = Histogram::FactoryTimeGet(
      "SequencedWorkerPool.ShutdownDelayTime", TimeDelta::FromMilliseconds(1),
      TimeDelta::FromSeconds(10), 50, HistogramBase::kUmaTargetedHistogramFlag);
  histogram->AddTime(TimeTicks::Now() - shutdown_wait_begin);
}

//------------------------------------------------------------------------------

void SequencedWorkerPool::Worker::Run() {
  // Every worker lives in a single-threaded apartment.
  internal::ScopedComInitializer com(1);
  g_current_worker.Set(this);
  // The pool's state owns this object once the loop has entered it.
  pool_->inner_->ThreadLoop(this);
  // May be the last reference: the pool then goes on its creating thread.
  pool_ref_ = nullptr;
}

//------------------------------------------------------------------------------

// static
scoped_refptr<SequencedWorkerPool>
SequencedWorkerPool::GetWorkerPoolForCurrentThread() {
  Worker* worker = Worker::GetForCurrentThread();
  return worker ? worker->pool_ref() : nullptr;
}

// static
SequencedWorkerPool::SequenceToken
SequencedWorkerPool::GetSequenceTokenForCurrentThread() {
  Worker* worker = Worker::GetForCurrentThread();
  return worker ? SequenceToken(worker->task_sequence_token())
                : SequenceToken();
}

SequencedWorkerPool::SequencedWorkerPool(size_t max_threads,
                                         const std::string& thread_name_prefix,
                                         int priority)
    : constructor_task_runner_(ThreadTaskRunnerHandle::IsSet()
                                   ? ThreadTaskRunnerHandle::Get()
                                   : nullptr),
      inner_(new Inner(this, max_threads, thread_name_prefix)) {}

SequencedWorkerPool::~SequencedWorkerPool() = default;

// static
void SequencedWorkerPool::DeletePool(const SequencedWorkerPool* pool) {
  delete pool;
}

void SequencedWorkerPool::OnDestruct() const {
  if (!inner_->RunsTasksOnCurrentThread()) {
    delete this;
    return;
  }
  // Deleting joins the workers; not from one of them.
  const Location from_here("OnDestruct",
                           "base\\threading\\sequenced_worker_pool", 1450,
                           GetProgramCounter());
  Closure delete_pool = Bind(&SequencedWorkerPool::DeletePool, this);
  if (constructor_task_runner_ &&
      constructor_task_runner_->PostNonNestableTask(from_here, delete_pool)) {
    return;
  }
  // Created on a thread without a loop, or its loop is gone: a system pool
  // thread can join this worker once it has returned.
  if (WorkerPool::PostTask(from_here, delete_pool, true))
    return;
  LOG(ERROR) << "Nowhere to delete a worker pool; it stays until the "
                "process ends";
}

SequencedWorkerPool::SequenceToken SequencedWorkerPool::GetNamedSequenceToken(
    const std::string& name) {
  return inner_->GetNamedSequenceToken(name);
}

scoped_refptr<SequencedTaskRunner>
SequencedWorkerPool::GetSequencedTaskRunnerWithShutdownBehavior(
    SequenceToken token,
    WorkerShutdown shutdown_behavior) {
  return new SequencedWorkerPoolSequencedTaskRunner(this, token,
                                                    shutdown_behavior);
}

bool SequencedWorkerPool::PostDelayedTask(const Location& from_here,
                                          Closure task,
                                          TimeDelta delay) {
  WorkerShutdown behavior =
      delay > TimeDelta() ? SKIP_ON_SHUTDOWN : BLOCK_SHUTDOWN;
  return inner_->PostTask(SequenceToken(), behavior, from_here, std::move(task),
                          delay);
}

bool SequencedWorkerPool::PostSequencedTask(SequenceToken token,
                                            WorkerShutdown shutdown_behavior,
                                            const Location& from_here,
                                            Closure task,
                                            TimeDelta delay) {
  return inner_->PostTask(token, shutdown_behavior, from_here, std::move(task),
                          delay);
}

bool SequencedWorkerPool::RunsTasksOnCurrentThread() const {
  return inner_->RunsTasksOnCurrentThread();
}

bool SequencedWorkerPool::IsRunningSequenceOnCurrentThread(
    SequenceToken token) const {
  return inner_->IsRunningSequenceOnCurrentThread(token);
}

// static
void SequencedWorkerPool::SetWorkerStackSizeForTesting(size_t stack_size) {
  g_worker_stack_size = stack_size;
}

void SequencedWorkerPool::Shutdown(int max_new_blocking_tasks_after_shutdown) {
  inner_->Shutdown(max_new_blocking_tasks_after_shutdown);
}

}  // namespace base
