#ifndef BASE_THREADING_SIMPLE_THREAD_H_
#define BASE_THREADING_SIMPLE_THREAD_H_

#include <stddef.h>

#include <string>

#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"

namespace base {

// Runs one virtual Run on a new thread named prefix + "/" + thread id.
class SimpleThread : public PlatformThread::Delegate {
 public:
  struct Options {
    size_t stack_size = 0;
    ThreadPriority priority = ThreadPriority::NORMAL;
    bool joinable = true;
  };

  explicit SimpleThread(const std::string& name_prefix);
  SimpleThread(const std::string& name_prefix, const Options& options);
  virtual ~SimpleThread();

  // Starts the thread and waits until it runs. False when the thread cannot
  // be created.
  virtual bool Start();
  // Waits for a joinable thread to end.
  virtual void Join();

  virtual void Run() = 0;

  const std::string& name() const { return name_; }
  PlatformThreadId tid() const { return tid_; }
  bool HasBeenStarted() const { return started_; }
  bool HasBeenJoined() const { return joined_; }

  // PlatformThread::Delegate:
  void ThreadMain() override;

 private:
  const std::string name_prefix_;
  std::string name_;
  const Options options_;
  PlatformThreadHandle thread_ = nullptr;
  WaitableEvent start_event_;
  PlatformThreadId tid_ = 0;
  bool started_ = false;
  bool joined_ = false;

  SimpleThread(const SimpleThread&) = delete;
  SimpleThread& operator=(const SimpleThread&) = delete;
};

}  // namespace base

#endif  // BASE_THREADING_SIMPLE_THREAD_H_
