#include "base/threading/simple_thread.h"

#include "base/logging.h"
#include <string>

namespace base {

SimpleThread::SimpleThread(const std::string& name_prefix)
    : SimpleThread(name_prefix, Options()) {}

SimpleThread::SimpleThread(const std::string& name_prefix,
                           const Options& options)
    : name_prefix_(name_prefix),
      name_(name_prefix),
      options_(options),
      start_event_(WaitableEvent::ResetPolicy::MANUAL,
                   WaitableEvent::InitialState::NOT_SIGNALED) {}

SimpleThread::~SimpleThread() {
  // A joinable thread that is still running would use a freed object.
  CHECK(!started_ || joined_ || !options_.joinable);
}

bool SimpleThread::Start() {
  CHECK(!started_);
  bool created;
  if (options_.joinable) {
    created = PlatformThread::CreateWithPriority(options_.stack_size, this,
                                                 &thread_, options_.priority);
  } else {
    created = PlatformThread::CreateNonJoinableWithPriority(
        options_.stack_size, this, options_.priority);
  }
  if (!created) {
    // The thread would never signal: waiting for it would never end.
    LOG(ERROR) << "Failed to create thread " << name_prefix_;
    return false;
  }
  started_ = true;
  start_event_.Wait();
  return true;
}

void SimpleThread::Join() {
  CHECK(options_.joinable);
  CHECK(started_);
  CHECK(!joined_);
  PlatformThread::Join(thread_);
  thread_ = nullptr;
  joined_ = true;
}

void SimpleThread::ThreadMain() {
  tid_ = PlatformThread::CurrentId();
  name_ = name_prefix_ + "/" + std::to_string(tid_);
  PlatformThread::SetName(name_);
  start_event_.Signal();
  Run();
}

}  // namespace base
