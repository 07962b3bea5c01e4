#ifndef BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_
#define BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_

#include <shared_mutex>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/pending_task.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"

namespace base {

class MessageLoop;

namespace internal {

// The queue that any thread posts into. The loop takes its whole content in
// one go (ReloadWorkQueue) on its own thread.
class IncomingTaskQueue : public RefCountedThreadSafe<IncomingTaskQueue> {
 public:
  explicit IncomingTaskQueue(MessageLoop* message_loop);

  // Queues |task| to run after |delay|. False, with the task released here,
  // when the loop is gone.
  bool AddToIncomingQueue(const Location& from_here,
                          Closure task,
                          TimeDelta delay,
                          bool nestable);

  // Swaps the queued tasks into |work_queue|, which must be empty. Returns
  // the number of high-resolution tasks taken since the last call.
  int ReloadWorkQueue(TaskQueue* work_queue);

  // Detaches the loop: from now on every post fails.
  void WillDestroyCurrentMessageLoop();

  // The loop is bound to its thread: wake-ups may be sent, and one is sent
  // now if tasks wait.
  void StartScheduling();

  // A wake-up went missing: the next post must send one.
  void WakeUpLost();

 private:
  friend class RefCountedThreadSafe<IncomingTaskQueue>;
  virtual ~IncomingTaskQueue();

  // Queues the task; returns whether the pump must be woken.
  bool EnqueueTask(PendingTask* pending_task);
  // Wakes the pump. Called with the loop pointer held.
  void ScheduleWork();

  int high_res_task_count_ = 0;

  // Guards everything below except the loop pointer.
  Lock incoming_queue_lock_;
  // Guards the loop pointer: posters hold it shared, so that the loop (and
  // its pump) cannot go away while they wake it; the detach holds it
  // exclusively.
  std::shared_mutex message_loop_lock_;

  TaskQueue incoming_queue_;
  MessageLoop* message_loop_;
  int next_sequence_num_ = 0;
  bool message_loop_scheduled_ = false;
  bool is_ready_for_scheduling_ = false;

  IncomingTaskQueue(const IncomingTaskQueue&) = delete;
  IncomingTaskQueue& operator=(const IncomingTaskQueue&) = delete;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_MESSAGE_LOOP_INCOMING_TASK_QUEUE_H_
