#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_

#include <stdint.h>

#include <memory>
#include <optional>
#include <vector>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/message_loop/incoming_task_queue.h"
#include "base/message_loop/message_loop_task_runner.h"
#include "base/message_loop/message_pump.h"
#include "base/observer_list.h"
#include "base/pending_task.h"
#include "base/single_thread_task_runner.h"
#include "base/task_annotator.h"
#include "base/time/time.h"

namespace base {

class RunLoop;
class Thread;
class ThreadTaskRunnerHandle;

// The per-thread queue of posted tasks, served by a pump. Other threads reach
// it through task_runner().
class MessageLoop : public MessagePump::Delegate {
 public:
  enum Type {
    TYPE_DEFAULT = 0,
    TYPE_UI = 1,
    // The pump comes from a factory.
    TYPE_CUSTOM = 2,
    TYPE_IO = 3,
  };

  using MessagePumpFactoryCallback =
      Callback<std::unique_ptr<MessagePump>()>;

  // Told when the loop of the current thread is about to be destroyed.
  class DestructionObserver {
   public:
    virtual void WillDestroyCurrentMessageLoop() = 0;

   protected:
    virtual ~DestructionObserver() = default;
  };

  // Makes a loop bound to the calling thread.
  explicit MessageLoop(Type type = TYPE_DEFAULT);
  ~MessageLoop() override;

  // The calling thread's loop, or null.
  static MessageLoop* current();

  static std::unique_ptr<MessagePump> CreateMessagePumpForType(Type type);

  void AddDestructionObserver(DestructionObserver* destruction_observer);
  void RemoveDestructionObserver(DestructionObserver* destruction_observer);

  void PostTask(const Location& from_here, Closure task);
  void PostDelayedTask(const Location& from_here,
                       Closure task,
                       TimeDelta delay);

  // Deletes |object| on this loop's thread, outside any nested run.
  template <class T>
  void DeleteSoon(const Location& from_here, const T* object) {
    DeleteSoonInternal(from_here, &DeleteObject<T>, object);
  }
  void DeleteSoonInternal(const Location& from_here,
                          void (*deleter)(const void*),
                          const void* object);

  Type type() const { return type_; }
  bool IsType(Type type) const { return type_ == type; }

  const scoped_refptr<SingleThreadTaskRunner>& task_runner() const {
    return task_runner_;
  }

  // The innermost run in progress, or null.
  RunLoop* run_loop() const { return run_loop_; }
  bool is_running() const { return run_loop_ != nullptr; }

  // Whether posted tasks may run now (false while a task runs).
  bool NestableTasksAllowed() const { return nestable_tasks_allowed_; }

  // Quits the innermost run at its next idle point.
  void QuitWhenIdle();

  // Wakes the pump; called by the incoming queue from any thread.
  bool ScheduleWork();

  TaskAnnotator* task_annotator() { return &task_annotator_; }

  MessagePump* pump() const { return pump_.get(); }

  // An exception is about to unwind every frame of this thread below
  // |frame|: the run loops that live there are invalidated and forgotten
  // while they still exist, so that their quit closures do nothing.
  void InvalidateRunLoopsBelow(const void* frame);

 private:
  friend class RunLoop;
  friend class Thread;

  class DestructionObserverRecord;

  template <class T>
  static void DeleteObject(const void* object) {
    delete static_cast<const T*>(object);
  }

  // An unbound loop; |pump_factory| may be null. Tasks may be posted to it
  // at once; they run once it is bound and run.
  static std::unique_ptr<MessageLoop> CreateUnbound(
      Type type,
      MessagePumpFactoryCallback pump_factory);
  MessageLoop(Type type, MessagePumpFactoryCallback pump_factory);

  // Makes the pump and publishes the loop on the calling thread.
  void BindToCurrentThread();
  void SetThreadTaskRunnerHandle();

  void AddRunLoop(RunLoop* run_loop);
  void RemoveRunLoop(RunLoop* run_loop);

  // Runs |pending_task| unless it must wait for depth 1; returns whether it
  // ran.
  bool DeferOrRunPendingTask(PendingTask pending_task);
  void RunTask(PendingTask pending_task);
  // Tells the pump again when the next delayed task is due, if a run inside
  // the task just ended was told there was none.
  void RestoreDelayedWakeUp();
  void AddToDelayedWorkQueue(PendingTask pending_task);
  void ReloadWorkQueue();
  bool ProcessNextDelayedNonNestableTask();
  // Deletes every queued task; true when there was one.
  bool DeletePendingTasks();
  // The depth of the innermost run; 0 when not running.
  int RunDepth() const;

  // MessagePump::Delegate:
  bool DoWork() override;
  bool DoDelayedWork(TimeTicks* next_delayed_work_time) override;
  bool DoIdleWork() override;
  ResumePoint SaveResumePoint() const override;
  void ResumeAt(const ResumePoint& point) override;
  void OnWakeUpLost() override;

  std::unique_ptr<MessagePump> pump_;
  const Type type_;
  TaskQueue work_queue_;
  int pending_high_res_tasks_ = 0;
  bool in_high_res_mode_ = false;
  DelayedTaskQueue delayed_work_queue_;
  TimeTicks recent_time_;
  TaskQueue deferred_non_nestable_work_queue_;
  ObserverList<DestructionObserverRecord> destruction_observers_;
  bool nestable_tasks_allowed_ = true;
  // A nested run asked for delayed work while tasks could not run.
  bool delayed_work_refused_ = false;
  // The task being run, held here rather than on the stack so that a task
  // unwound by an exception can still be closed.
  std::optional<PendingTask> running_task_;
  MessagePumpFactoryCallback pump_factory_;
  RunLoop* run_loop_ = nullptr;
  // Every run loop made on this loop, newest first.
  RunLoop* newest_run_loop_ = nullptr;
  TaskAnnotator task_annotator_;
  scoped_refptr<internal::IncomingTaskQueue> incoming_task_queue_;
  scoped_refptr<internal::MessageLoopTaskRunner> unbound_task_runner_;
  scoped_refptr<SingleThreadTaskRunner> task_runner_;
  std::unique_ptr<ThreadTaskRunnerHandle> thread_task_runner_handle_;
  uint32_t thread_id_ = 0;

  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_
