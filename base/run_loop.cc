#include "base/run_loop.h"

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_loop_internal.h"
#include "base/tracked_objects.h"

namespace base {

RunLoop::RunLoop() : RunLoop(nullptr) {}

RunLoop::RunLoop(MessagePumpDispatcher* dispatcher)
    : loop_(MessageLoop::current()),
      dispatcher_(dispatcher),
      weak_factory_(this) {
  if (loop_)
    loop_->AddRunLoop(this);
}

RunLoop::~RunLoop() {
  weak_factory_.InvalidateWeakPtrs();
  if (listed_)
    loop_->RemoveRunLoop(this);
}

void RunLoop::Run() {
  run_called_ = true;
  if (quit_called_)
    return;

  previous_run_loop_ = loop_->run_loop_;
  run_depth_ = previous_run_loop_ ? previous_run_loop_->run_depth_ + 1 : 1;
  loop_->run_loop_ = this;
  running_ = true;

  // The run's time is not charged to an enclosing task.
  tracked_objects::TaskStopwatch stopwatch;
  stopwatch.Start();
  internal::RunPump(loop_, dispatcher_);
  stopwatch.Stop();

  running_ = false;
  loop_->run_loop_ = previous_run_loop_;
  // An outer run asked to quit while this one ran.
  if (previous_run_loop_ && previous_run_loop_->quit_called_)
    loop_->pump()->Quit();
}

void RunLoop::Quit() {
  quit_called_ = true;
  if (running_ && loop_->run_loop_ == this)
    loop_->pump()->Quit();
}

Closure RunLoop::QuitClosure() {
  return Bind(&RunLoop::Quit, weak_factory_.GetWeakPtr());
}

}  // namespace base
