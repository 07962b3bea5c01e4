#include "base/threading/thread.h"

#include <objbase.h>
#include <windows.h>

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/logging.h"
#include "base/run_loop.h"
#include "base/threading/thread_internal.h"

namespace base {

Thread::Options::Options() = default;
Thread::Options::Options(const Options& other) = default;
Thread::Options::~Options() = default;

Thread::Thread(const std::string& name)
    : id_event_(WaitableEvent::ResetPolicy::MANUAL,
                WaitableEvent::InitialState::NOT_SIGNALED),
      name_(name),
      start_event_(WaitableEvent::ResetPolicy::MANUAL,
                   WaitableEvent::InitialState::NOT_SIGNALED) {}

Thread::~Thread() {
  Stop();
}

bool Thread::Start() {
  Options options;
  if (com_status_ == COM_STA)
    options.message_loop_type = MessageLoop::TYPE_UI;
  return StartWithOptions(options);
}

bool Thread::StartWithOptions(const Options& options) {
  id_event_.Reset();
  id_ = 0;

  MessageLoop::Type type = options.message_pump_factory
                               ? MessageLoop::TYPE_CUSTOM
                               : options.message_loop_type;
  timer_slack_ = options.timer_slack;
  std::unique_ptr<MessageLoop> message_loop =
      MessageLoop::CreateUnbound(type, options.message_pump_factory);
  message_loop_ = message_loop.get();
  start_event_.Reset();

  {
    AutoLock lock(thread_lock_);
    if (!PlatformThread::CreateWithPriority(options.stack_size, this, &thread_,
                                            options.priority)) {
      LOG(ERROR) << "Failed to create thread " << name_;
      message_loop_ = nullptr;
      return false;
    }
  }
  // The thread owns the loop from now on.
  message_loop.release();
  return true;
}

void Thread::Stop() {
  AutoLock lock(thread_lock_);
  StopSoon();
  if (thread_) {
    PlatformThread::Join(thread_);
    thread_ = nullptr;
  }
  stopping_ = false;
}

void Thread::StopSoon() {
  if (stopping_ || !message_loop_)
    return;
  stopping_ = true;
  message_loop_->task_runner()->PostTask(
      Location("StopSoon", "base\\threading\\thread", 197, GetProgramCounter()),
      Bind(&Thread::ThreadQuitHelper));
}

scoped_refptr<SingleThreadTaskRunner> Thread::task_runner() const {
  return message_loop_ ? message_loop_->task_runner() : nullptr;
}

PlatformThreadId Thread::GetThreadId() const {
  id_event_.Wait();
  return id_;
}

bool Thread::IsRunning() const {
  AutoLock lock(running_lock_);
  return running_;
}

void Thread::Run(RunLoop* run_loop) {
  run_loop->Run();
}

// static
void Thread::ThreadQuitHelper() {
  MessageLoop::current()->QuitWhenIdle();
}

void Thread::ThreadMain() {
  id_ = PlatformThread::CurrentId();
  id_event_.Signal();

  PlatformThread::SetName(name_);
  PreInit();

  message_loop_->BindToCurrentThread();
  message_loop_->pump()->SetTimerSlack(timer_slack_);

  internal::ScopedComInitializer com(com_status_);

  Init();
  {
    AutoLock lock(running_lock_);
    running_ = true;
  }
  start_event_.Signal();

  {
    RunLoop run_loop;
    run_loop_ = &run_loop;
    Run(run_loop_);
    {
      AutoLock lock(running_lock_);
      running_ = false;
    }
    CleanUp();
    com.Uninitialize();
    run_loop_ = nullptr;
  }

  std::unique_ptr<MessageLoop> message_loop(message_loop_);
  message_loop_ = nullptr;
}

}  // namespace base

namespace base {
namespace internal {

ScopedComInitializer::ScopedComInitializer(uint32_t com_status) {
  if (com_status == 0)
    return;
  DWORD model =
      com_status == 1 ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
  initialized_ = SUCCEEDED(CoInitializeEx(nullptr, model));
}

ScopedComInitializer::~ScopedComInitializer() {
  Uninitialize();
}

void ScopedComInitializer::Uninitialize() {
  if (initialized_)
    CoUninitialize();
  initialized_ = false;
}

}  // namespace internal
}  // namespace base
