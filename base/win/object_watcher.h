#ifndef BASE_WIN_OBJECT_WATCHER_H_
#define BASE_WIN_OBJECT_WATCHER_H_

#include <windows.h>

#include "base/callback.h"
#include "base/memory/weak_ptr.h"
#include "base/message_loop/message_loop.h"

namespace base {
namespace win {

// Waits for a handle on a system wait thread and calls its delegate back on
// the thread that started the watch. Every watch ends after one signal.
class ObjectWatcher : public MessageLoop::DestructionObserver {
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // Called on the thread that started the watch; the watch has ended.
    virtual void OnObjectSignaled(HANDLE object) = 0;
  };

  ObjectWatcher();
  // Stops a watch in progress.
  ~ObjectWatcher() override;

  // False when a watch is in progress, when the thread has no loop or when
  // the system refuses the wait.
  bool StartWatchingOnce(HANDLE object, Delegate* delegate);

  // False when not watching or when the wait cannot be unregistered.
  bool StopWatching();

  bool IsWatching() const { return wait_object_ != nullptr; }

  // Lets a test give the answers Windows may give; returns the previous
  // function.
  using UnregisterWaitFunction = decltype(&::UnregisterWaitEx);
  static UnregisterWaitFunction SetUnregisterWaitForTesting(
      UnregisterWaitFunction function);

 private:
  // Runs on a system wait thread.
  static void CALLBACK DoneWaiting(void* param, BOOLEAN timed_out);

  void Signal(Delegate* delegate);

  // MessageLoop::DestructionObserver:
  void WillDestroyCurrentMessageLoop() override;

  Closure callback_;
  HANDLE object_ = nullptr;
  HANDLE wait_object_ = nullptr;
  MessageLoop* origin_loop_ = nullptr;
  bool run_once_ = true;
  WeakPtrFactory<ObjectWatcher> weak_factory_;

  ObjectWatcher(const ObjectWatcher&) = delete;
  ObjectWatcher& operator=(const ObjectWatcher&) = delete;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_OBJECT_WATCHER_H_
