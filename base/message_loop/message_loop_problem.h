#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_PROBLEM_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_PROBLEM_H_

namespace base {
namespace internal {

// Samples of the "Base.MessageLoopProblem" histogram.
enum MessageLoopProblem {
  MESSAGE_POST_ERROR = 0,
  COMPLETION_POST_ERROR = 1,
  SET_TIMER_ERROR = 2,
};

void RecordMessageLoopProblem(int problem);

}  // namespace internal
}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_PROBLEM_H_
