#include "base/threading/post_task_and_reply_impl.h"

#include <utility>

#include "base/bind.h"
#include "base/sequenced_task_runner.h"
#include "base/threading/sequenced_task_runner_handle.h"

namespace base {
namespace internal {

namespace {

// Carries the task and the reply across. Touched by one thread at a time:
// the origin until the post, the target until the reply is posted, then the
// origin again, which frees it.
class PostTaskAndReplyRelay {
 public:
  PostTaskAndReplyRelay(const Location& from_here, Closure task, Closure reply)
      : from_here_(from_here),
        origin_task_runner_(SequencedTaskRunnerHandle::Get()),
        reply_(std::move(reply)),
        task_(std::move(task)) {}

  // On the target.
  static void RunTaskAndPostReply(PostTaskAndReplyRelay* relay) {
    relay->task_.Run();
    // When the origin is gone the reply never runs and the relay is kept:
    // nothing bound for the origin may be released here.
    relay->origin_task_runner_->PostTask(
        relay->from_here_, Bind(&RunReplyAndSelfDestruct, relay));
  }

 private:
  // On the origin.
  static void RunReplyAndSelfDestruct(PostTaskAndReplyRelay* relay) {
    relay->task_.Reset();
    relay->reply_.Run();
    delete relay;
  }

  Location from_here_;
  scoped_refptr<SequencedTaskRunner> origin_task_runner_;
  Closure reply_;
  Closure task_;
};

}  // namespace

bool PostTaskAndReplyImpl::PostTaskAndReply(const Location& from_here,
                                            Closure task,
                                            Closure reply) {
  auto* relay =
      new PostTaskAndReplyRelay(from_here, std::move(task), std::move(reply));
  if (!PostTask(from_here,
                Bind(&PostTaskAndReplyRelay::RunTaskAndPostReply, relay))) {
    delete relay;
    return false;
  }
  return true;
}

}  // namespace internal
}  // namespace base
