#ifndef BASE_RUN_LOOP_H_
#define BASE_RUN_LOOP_H_

#include "base/callback.h"
#include "base/memory/weak_ptr.h"

namespace base {

class MessageLoop;
class MessagePumpDispatcher;

// One run of the current thread's message loop; runs may nest.
class RunLoop {
 public:
  RunLoop();
  // |dispatcher| takes the Windows messages of a UI loop's run.
  explicit RunLoop(MessagePumpDispatcher* dispatcher);
  ~RunLoop();

  // Runs until Quit. A quit before the run makes it return at once.
  void Run();

  // Ends this run; when it is not the innermost one, it ends as soon as the
  // runs inside it have ended.
  void Quit();

  // A closure that quits this run and does nothing once it is gone.
  Closure QuitClosure();

  bool running() const { return running_; }

 private:
  friend class MessageLoop;

  MessageLoop* loop_;
  RunLoop* previous_run_loop_ = nullptr;
  MessagePumpDispatcher* dispatcher_;
  int run_depth_ = 0;
  bool run_called_ = false;
  bool quit_called_ = false;
  bool running_ = false;
  bool quit_when_idle_received_ = false;
  // Links in the loop's list of the run loops that exist, newest first; an
  // exception that unwinds one finds it there while its frame still exists.
  RunLoop* older_ = nullptr;
  RunLoop* newer_ = nullptr;
  bool listed_ = false;
  WeakPtrFactory<RunLoop> weak_factory_;

  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;
};

}  // namespace base

#endif  // BASE_RUN_LOOP_H_
