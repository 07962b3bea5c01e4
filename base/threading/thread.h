#ifndef BASE_THREADING_THREAD_H_
#define BASE_THREADING_THREAD_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/message_loop/message_loop.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"

namespace base {

class RunLoop;

// A named thread that owns a message loop and runs it until stopped. The
// thread is always joined: Stop and the destructor wait for it to end.
class Thread : PlatformThread::Delegate {
 public:
  enum ComStatus : uint32_t {
    COM_NONE = 0,
    COM_STA = 1,
    COM_MTA = 2,
  };

  struct Options {
    Options();
    Options(const Options& other);
    ~Options();

    MessageLoop::Type message_loop_type = MessageLoop::TYPE_DEFAULT;
    uint32_t timer_slack = 0;
    // When set, makes the pump; the loop is then of type TYPE_CUSTOM.
    MessageLoop::MessagePumpFactoryCallback message_pump_factory;
    size_t stack_size = 0;
    ThreadPriority priority = ThreadPriority::NORMAL;
  };

  explicit Thread(const std::string& name);
  virtual ~Thread();

  // Must be set before Start.
  void set_com_status(ComStatus com_status) { com_status_ = com_status; }

  // Starts with default options; a single-threaded apartment thread gets a
  // UI loop.
  bool Start();
  // Returns as soon as the thread exists; tasks may be posted at once.
  bool StartWithOptions(const Options& options);

  // Lets queued tasks run, then ends the thread and waits for it. Safe to
  // call more than once and on a thread that never started.
  void Stop();
  // Asks the thread to end once its queue is idle; does not wait.
  void StopSoon();

  // Null when the thread has no loop.
  scoped_refptr<SingleThreadTaskRunner> task_runner() const;

  const std::string& thread_name() const { return name_; }
  // The thread id; waits until the thread has started.
  PlatformThreadId GetThreadId() const;
  bool IsRunning() const;

 protected:
  virtual void PreInit() {}
  virtual void Init() {}
  virtual void Run(RunLoop* run_loop);
  virtual void CleanUp() {}

 private:
  // PlatformThread::Delegate:
  void ThreadMain() override;

  static void ThreadQuitHelper();

  ComStatus com_status_ = COM_NONE;
  bool stopping_ = false;
  bool running_ = false;
  mutable Lock running_lock_;
  PlatformThreadHandle thread_ = nullptr;
  Lock thread_lock_;
  PlatformThreadId id_ = 0;
  mutable WaitableEvent id_event_;
  MessageLoop* message_loop_ = nullptr;
  RunLoop* run_loop_ = nullptr;
  uint32_t timer_slack_ = 0;
  std::string name_;
  WaitableEvent start_event_;

  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_H_
