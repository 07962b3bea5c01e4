#ifndef BASE_THREADING_POST_TASK_AND_REPLY_IMPL_H_
#define BASE_THREADING_POST_TASK_AND_REPLY_IMPL_H_

#include "base/callback.h"
#include "base/location.h"

namespace base {
namespace internal {

// Runs a task somewhere and then a reply on the posting thread's sequence.
// Subclasses say where the task goes.
class PostTaskAndReplyImpl {
 public:
  virtual ~PostTaskAndReplyImpl() = default;

  // False when the task could not be posted; the task and the reply are
  // then released here.
  bool PostTaskAndReply(const Location& from_here,
                        Closure task,
                        Closure reply);

 private:
  virtual bool PostTask(const Location& from_here, Closure task) = 0;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_THREADING_POST_TASK_AND_REPLY_IMPL_H_
