#include "base/message_loop/message_loop.h"

#include <algorithm>
#include <utility>

#include "base/bind.h"
#include "base/debug/alias.h"
#include "base/logging.h"
#include "base/message_loop/message_loop_internal.h"
#include "base/run_loop.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_task_runner_handle.h"

namespace base {

namespace {

// Enough passes for tasks whose destruction posts more tasks; a chain that
// never ends is cut off here.
constexpr int kMaxDeletePasses = 100;

constexpr int kMaxRegistrationFrames = 10;

}  // namespace

// Wraps an observer with the back trace of its registration, so that a crash
// dump of a misbehaving observer shows who registered it.
class MessageLoop::DestructionObserverRecord : public DestructionObserver {
 public:
  explicit DestructionObserverRecord(DestructionObserver* observer)
      : observer_(observer), frames_(kMaxRegistrationFrames) {
    frames_.resize(internal::CaptureRegistrationTrace(
        frames_.data(), kMaxRegistrationFrames));
  }
  ~DestructionObserverRecord() override = default;

  DestructionObserver* observer() const { return observer_; }

  void WillDestroyCurrentMessageLoop() override {
    const void* frames[kMaxRegistrationFrames] = {};
    std::copy(frames_.begin(), frames_.end(), frames);
    size_t frame_count = frames_.size();
    DebugAlias(frames);
    DebugAlias(&frame_count);
    // The observer may remove and so delete this record: nothing of it is
    // touched after the call.
    observer_->WillDestroyCurrentMessageLoop();
  }

 private:
  DestructionObserver* observer_;
  std::vector<const void*> frames_;
};

MessageLoop::MessageLoop(Type type)
    : MessageLoop(type, MessagePumpFactoryCallback()) {
  BindToCurrentThread();
}

MessageLoop::MessageLoop(Type type, MessagePumpFactoryCallback pump_factory)
    : type_(type), pump_factory_(std::move(pump_factory)) {
  incoming_task_queue_ = new internal::IncomingTaskQueue(this);
  unbound_task_runner_ =
      new internal::MessageLoopTaskRunner(incoming_task_queue_);
  task_runner_ = unbound_task_runner_;
}

// static
std::unique_ptr<MessageLoop> MessageLoop::CreateUnbound(
    Type type,
    MessagePumpFactoryCallback pump_factory) {
  return std::unique_ptr<MessageLoop>(
      new MessageLoop(type, std::move(pump_factory)));
}

MessageLoop::~MessageLoop() {
  if (in_high_res_mode_)
    internal::ActivateHighResolutionTimer(false);

  // Deleting a task may post another; each pass picks those up.
  for (int pass = 0; pass < kMaxDeletePasses; ++pass) {
    DeletePendingTasks();
    ReloadWorkQueue();
    if (!DeletePendingTasks())
      break;
  }

  destruction_observers_.Notify(
      &DestructionObserverRecord::WillDestroyCurrentMessageLoop);
  std::vector<DestructionObserverRecord*> records;
  {
    ObserverList<DestructionObserverRecord>::Iter it(&destruction_observers_);
    while (DestructionObserverRecord* record = it.GetNext())
      records.push_back(record);
  }
  destruction_observers_.Clear();
  for (auto* record : records)
    delete record;

  thread_task_runner_handle_.reset();

  incoming_task_queue_->WillDestroyCurrentMessageLoop();
  // Tasks posted after the passes above (by the observers, or by other
  // threads) are still queued: they too must go on this thread, not on
  // whichever thread drops the last runner reference.
  ReloadWorkQueue();
  DeletePendingTasks();

  incoming_task_queue_ = nullptr;
  unbound_task_runner_ = nullptr;
  task_runner_ = nullptr;

  if (internal::GetCurrentMessageLoop() == this)
    internal::SetCurrentMessageLoop(nullptr);
  // Run loops that outlive the loop must not unlist themselves from it.
  for (RunLoop* run_loop = newest_run_loop_; run_loop;
       run_loop = run_loop->older_) {
    run_loop->listed_ = false;
  }
}

// static
MessageLoop* MessageLoop::current() {
  return internal::GetCurrentMessageLoop();
}

// static
std::unique_ptr<MessagePump> MessageLoop::CreateMessagePumpForType(Type type) {
  return internal::CreatePlatformMessagePump(type);
}

void MessageLoop::AddDestructionObserver(
    DestructionObserver* destruction_observer) {
  destruction_observers_.AddObserver(
      new DestructionObserverRecord(destruction_observer));
}

void MessageLoop::RemoveDestructionObserver(
    DestructionObserver* destruction_observer) {
  DestructionObserverRecord* found = nullptr;
  {
    ObserverList<DestructionObserverRecord>::Iter it(&destruction_observers_);
    while (DestructionObserverRecord* record = it.GetNext()) {
      if (record->observer() == destruction_observer) {
        found = record;
        break;
      }
    }
  }
  if (!found)
    return;
  destruction_observers_.RemoveObserver(found);
  delete found;
}

void MessageLoop::PostTask(const Location& from_here, Closure task) {
  task_runner_->PostTask(from_here, std::move(task));
}

void MessageLoop::PostDelayedTask(const Location& from_here,
                                  Closure task,
                                  TimeDelta delay) {
  task_runner_->PostDelayedTask(from_here, std::move(task), delay);
}

void MessageLoop::DeleteSoonInternal(const Location& from_here,
                                     void (*deleter)(const void*),
                                     const void* object) {
  task_runner_->PostNonNestableTask(from_here, Bind(deleter, object));
}

void MessageLoop::QuitWhenIdle() {
  CHECK(run_loop_);
  run_loop_->quit_when_idle_received_ = true;
}

bool MessageLoop::ScheduleWork() {
  return pump_->ScheduleWork();
}

void MessageLoop::BindToCurrentThread() {
  if (pump_factory_)
    pump_ = pump_factory_.Run();
  else
    pump_ = CreateMessagePumpForType(type_);
  internal::SetCurrentMessageLoop(this);
  incoming_task_queue_->StartScheduling();
  unbound_task_runner_->BindToCurrentThread();
  unbound_task_runner_ = nullptr;
  SetThreadTaskRunnerHandle();
  thread_id_ = PlatformThread::CurrentId();
}

void MessageLoop::SetThreadTaskRunnerHandle() {
  thread_task_runner_handle_.reset();
  thread_task_runner_handle_ =
      std::make_unique<ThreadTaskRunnerHandle>(task_runner_);
}

void MessageLoop::AddRunLoop(RunLoop* run_loop) {
  run_loop->older_ = newest_run_loop_;
  if (newest_run_loop_)
    newest_run_loop_->newer_ = run_loop;
  newest_run_loop_ = run_loop;
  run_loop->listed_ = true;
}

void MessageLoop::RemoveRunLoop(RunLoop* run_loop) {
  if (run_loop->older_)
    run_loop->older_->newer_ = run_loop->newer_;
  if (run_loop->newer_)
    run_loop->newer_->older_ = run_loop->older_;
  else
    newest_run_loop_ = run_loop->older_;
  run_loop->older_ = run_loop->newer_ = nullptr;
  run_loop->listed_ = false;
}

void MessageLoop::InvalidateRunLoopsBelow(const void* frame) {
  // What is about to go lies between this call and |frame|; a run loop
  // elsewhere (above, or on the heap) stays.
  auto low = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  auto high = reinterpret_cast<uintptr_t>(frame);
  RunLoop* run_loop = newest_run_loop_;
  while (run_loop) {
    RunLoop* older = run_loop->older_;
    auto address = reinterpret_cast<uintptr_t>(run_loop);
    if (address > low && address < high) {
      run_loop->weak_factory_.InvalidateWeakPtrs();
      RemoveRunLoop(run_loop);
    }
    run_loop = older;
  }
}

int MessageLoop::RunDepth() const {
  return run_loop_ ? run_loop_->run_depth_ : 0;
}

bool MessageLoop::DeferOrRunPendingTask(PendingTask pending_task) {
  if (pending_task.nestable || RunDepth() == 1) {
    RunTask(std::move(pending_task));
    return true;
  }
  // Kept until the innermost run is back at depth 1.
  deferred_non_nestable_work_queue_.push(std::move(pending_task));
  return false;
}

void MessageLoop::RunTask(PendingTask pending_task) {
  if (pending_task.is_high_res)
    pending_high_res_tasks_ = std::max(pending_high_res_tasks_ - 1, 0);
  running_task_.emplace(std::move(pending_task));
  nestable_tasks_allowed_ = false;
  {
    internal::ScopedTaskTraceEvent trace("MessageLoop::RunTask",
                                        running_task_->posted_from);
    task_annotator_.RunTask("MessageLoop::PostTask", &*running_task_);
  }
  nestable_tasks_allowed_ = true;
  RestoreDelayedWakeUp();
  // The closure's destruction may post: it goes once the loop is back in
  // order.
  PendingTask ran = std::move(*running_task_);
  running_task_.reset();
}

void MessageLoop::RestoreDelayedWakeUp() {
  if (!delayed_work_refused_)
    return;
  delayed_work_refused_ = false;
  // A modal loop opened from now on runs our delayed tasks only by the
  // pump's timer.
  if (!delayed_work_queue_.empty())
    pump_->ScheduleDelayedWork(delayed_work_queue_.top().delayed_run_time);
}

void MessageLoop::AddToDelayedWorkQueue(PendingTask pending_task) {
  delayed_work_queue_.push(std::move(pending_task));
}

void MessageLoop::ReloadWorkQueue() {
  if (work_queue_.empty()) {
    pending_high_res_tasks_ +=
        incoming_task_queue_->ReloadWorkQueue(&work_queue_);
  }
}

bool MessageLoop::ProcessNextDelayedNonNestableTask() {
  if (RunDepth() != 1 || deferred_non_nestable_work_queue_.empty())
    return false;
  PendingTask pending_task =
      std::move(deferred_non_nestable_work_queue_.front());
  deferred_non_nestable_work_queue_.pop();
  RunTask(std::move(pending_task));
  return true;
}

bool MessageLoop::DeletePendingTasks() {
  bool did_work = !work_queue_.empty();
  while (!work_queue_.empty()) {
    PendingTask pending_task = std::move(work_queue_.front());
    work_queue_.pop();
    if (!pending_task.delayed_run_time.is_null())
      AddToDelayedWorkQueue(std::move(pending_task));
  }
  did_work |= !deferred_non_nestable_work_queue_.empty();
  while (!deferred_non_nestable_work_queue_.empty())
    deferred_non_nestable_work_queue_.pop();
  did_work |= !delayed_work_queue_.empty();
  while (!delayed_work_queue_.empty())
    delayed_work_queue_.pop();
  return did_work;
}

bool MessageLoop::DoWork() {
  if (!nestable_tasks_allowed_)
    return false;
  for (;;) {
    ReloadWorkQueue();
    if (work_queue_.empty())
      return false;
    do {
      PendingTask pending_task = std::move(work_queue_.front());
      work_queue_.pop();
      if (!pending_task.delayed_run_time.is_null()) {
        int sequence_num = pending_task.sequence_num;
        TimeTicks delayed_run_time = pending_task.delayed_run_time;
        AddToDelayedWorkQueue(std::move(pending_task));
        // Only a task that became the earliest moves the wake-up.
        if (delayed_work_queue_.top().sequence_num == sequence_num)
          pump_->ScheduleDelayedWork(delayed_run_time);
      } else if (DeferOrRunPendingTask(std::move(pending_task))) {
        return true;
      }
    } while (!work_queue_.empty());
  }
}

bool MessageLoop::DoDelayedWork(TimeTicks* next_delayed_work_time) {
  if (!nestable_tasks_allowed_ || delayed_work_queue_.empty()) {
    // Told "nothing delayed" inside a task, the pump stops its timer: it is
    // told again once the task ends.
    delayed_work_refused_ |= !delayed_work_queue_.empty();
    recent_time_ = *next_delayed_work_time = TimeTicks();
    return false;
  }
  // The clock is read only when the top is later than the last reading, so
  // a run of overdue tasks costs one reading.
  TimeTicks next_run_time = delayed_work_queue_.top().delayed_run_time;
  if (next_run_time > recent_time_) {
    recent_time_ = TimeTicks::Now();
    if (next_run_time > recent_time_) {
      *next_delayed_work_time = next_run_time;
      return false;
    }
  }
  PendingTask pending_task = PopDelayedTask(&delayed_work_queue_);
  if (!delayed_work_queue_.empty())
    *next_delayed_work_time = delayed_work_queue_.top().delayed_run_time;
  return DeferOrRunPendingTask(std::move(pending_task));
}

bool MessageLoop::DoIdleWork() {
  if (ProcessNextDelayedNonNestableTask())
    return true;
  if (run_loop_ && run_loop_->quit_when_idle_received_)
    pump_->Quit();
  bool high_res = pending_high_res_tasks_ > 0;
  if (high_res != in_high_res_mode_) {
    in_high_res_mode_ = high_res;
    internal::ActivateHighResolutionTimer(in_high_res_mode_);
  }
  return false;
}

void MessageLoop::OnWakeUpLost() {
  incoming_task_queue_->WakeUpLost();
}

MessagePump::Delegate::ResumePoint MessageLoop::SaveResumePoint() const {
  ResumePoint point;
  point.run_loop = run_loop_;
  point.stopwatch = tracked_objects::TaskStopwatch::Current();
  point.task_running = running_task_.has_value();
  return point;
}

void MessageLoop::ResumeAt(const ResumePoint& point) {
  // The unwound runs and stopwatches lived on the stack that is gone.
  run_loop_ = point.run_loop;
  // A quit asked of the run we are back in while a run inside it was
  // unwound: no inner run returns to pass it on.
  if (run_loop_ && run_loop_->quit_called_)
    pump_->Quit();
  tracked_objects::TaskStopwatch::RestoreCurrent(point.stopwatch);
  // A task that was already running is still on the stack above: only one
  // started since was unwound.
  if (point.task_running || !running_task_)
    return;
  LOG(ERROR) << "An exception unwound the task posted from "
             << running_task_->posted_from.ToString()
             << "; the loop goes on with the next one";
  PendingTask unwound = std::move(*running_task_);
  running_task_.reset();
  nestable_tasks_allowed_ = true;
}

}  // namespace base
