#include "base/win/object_watcher.h"

#include <atomic>

#include "base/bind.h"
#include "base/logging.h"

namespace base {
namespace win {

namespace {

std::atomic<ObjectWatcher::UnregisterWaitFunction> g_unregister_wait{
    &::UnregisterWaitEx};

}  // namespace

ObjectWatcher::ObjectWatcher() : weak_factory_(this) {}

// static
ObjectWatcher::UnregisterWaitFunction
ObjectWatcher::SetUnregisterWaitForTesting(UnregisterWaitFunction function) {
  return g_unregister_wait.exchange(function);
}

ObjectWatcher::~ObjectWatcher() {
  // A wait left registered would call back into freed memory, and the loop
  // would keep a record pointing at it: there is no safe way on.
  if (IsWatching() && !StopWatching())
    LOG(FATAL) << "Failed to stop watching an object";
  weak_factory_.InvalidateWeakPtrs();
  callback_.Reset();
}

bool ObjectWatcher::StartWatchingOnce(HANDLE object, Delegate* delegate) {
  if (!delegate)
    __builtin_trap();
  if (wait_object_)
    return false;

  origin_loop_ = MessageLoop::current();
  if (!origin_loop_)
    return false;

  run_once_ = true;
  callback_ = Bind(&ObjectWatcher::Signal, weak_factory_.GetWeakPtr(),
                   delegate);
  object_ = object;

  if (!::RegisterWaitForSingleObject(&wait_object_, object, &DoneWaiting, this,
                                     INFINITE,
                                     WT_EXECUTEINWAITTHREAD |
                                         WT_EXECUTEONLYONCE)) {
    PLOG(ERROR) << "RegisterWaitForSingleObject failed";
    object_ = nullptr;
    wait_object_ = nullptr;
    return false;
  }

  origin_loop_->AddDestructionObserver(this);
  return true;
}

bool ObjectWatcher::StopWatching() {
  if (!wait_object_)
    return false;

  // Blocks until a DoneWaiting already running has returned. A wait whose
  // callback was under way is reported as pending but is released all the
  // same: unregistering it again would touch a freed wait.
  if (!g_unregister_wait.load()(wait_object_, INVALID_HANDLE_VALUE) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    PLOG(ERROR) << "UnregisterWaitEx failed";
    return false;
  }

  // A Signal already posted but not yet run does nothing now.
  weak_factory_.InvalidateWeakPtrs();
  object_ = nullptr;
  wait_object_ = nullptr;

  origin_loop_->RemoveDestructionObserver(this);
  return true;
}

// static
void CALLBACK ObjectWatcher::DoneWaiting(void* param, BOOLEAN timed_out) {
  // Alive: stopping waits for this function to return.
  ObjectWatcher* that = static_cast<ObjectWatcher*>(param);
  that->origin_loop_->task_runner()->PostTask(
      Location("DoneWaiting", "base\\win\\object_watcher", 73,
               GetProgramCounter()),
      that->callback_);
  if (that->run_once_)
    that->callback_.Reset();
}

void ObjectWatcher::Signal(Delegate* delegate) {
  // The delegate may destroy this watcher or start a new watch with it.
  HANDLE object = object_;
  if (run_once_)
    StopWatching();
  delegate->OnObjectSignaled(object);
}

void ObjectWatcher::WillDestroyCurrentMessageLoop() {
  StopWatching();
}

}  // namespace win
}  // namespace base
