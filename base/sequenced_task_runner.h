#ifndef BASE_SEQUENCED_TASK_RUNNER_H_
#define BASE_SEQUENCED_TASK_RUNNER_H_

#include "base/task_runner.h"

namespace base {

// A runner whose tasks run one at a time, in posting order (delayed ones by
// run time, then posting order).
class SequencedTaskRunner : public TaskRunner {
 public:
  // Like PostDelayedTask, but the task never runs inside a nested run.
  virtual bool PostNonNestableDelayedTask(const Location& from_here,
                                          Closure task,
                                          TimeDelta delay) = 0;

  bool PostNonNestableTask(const Location& from_here, Closure task);

  // Deletes |object| on this runner's sequence.
  template <class T>
  bool DeleteSoon(const Location& from_here, const T* object) {
    return DeleteSoonInternal(from_here, &DeleteObject<T>, object);
  }

 protected:
  ~SequencedTaskRunner() override = default;

 private:
  template <class T>
  static void DeleteObject(const void* object) {
    delete static_cast<const T*>(object);
  }

  bool DeleteSoonInternal(const Location& from_here,
                          void (*deleter)(const void*),
                          const void* object);
};

}  // namespace base

#endif  // BASE_SEQUENCED_TASK_RUNNER_H_
