#include "base/pending_task.h"

#include <limits>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

PendingTask MakeTask(int64_t run_time_us, int sequence_num) {
  PendingTask task(Location(), Closure(),
                   TimeTicks() + TimeDelta::FromMicroseconds(run_time_us),
                   true);
  task.sequence_num = sequence_num;
  return task;
}

std::vector<int> DrainSequenceNumbers(DelayedTaskQueue* queue) {
  std::vector<int> order;
  while (!queue->empty())
    order.push_back(PopDelayedTask(queue).sequence_num);
  return order;
}

TEST(PendingTaskTest, DelayedTasksRunByTimeThenPostingOrder) {
  DelayedTaskQueue queue;
  queue.push(MakeTask(300, 0));
  queue.push(MakeTask(100, 1));
  queue.push(MakeTask(200, 2));
  queue.push(MakeTask(100, 3));
  queue.push(MakeTask(200, 4));
  EXPECT_EQ((std::vector<int>{1, 3, 2, 4, 0}), DrainSequenceNumbers(&queue));
}

TEST(PendingTaskTest, PostingOrderSurvivesSequenceNumberWrap) {
  const int kMax = std::numeric_limits<int>::max();
  const int kMin = std::numeric_limits<int>::min();
  DelayedTaskQueue queue;
  // Posted in the order kMax - 1, kMax, kMin, kMin + 1, all due together.
  queue.push(MakeTask(100, kMin + 1));
  queue.push(MakeTask(100, kMax));
  queue.push(MakeTask(100, kMin));
  queue.push(MakeTask(100, kMax - 1));
  EXPECT_EQ((std::vector<int>{kMax - 1, kMax, kMin, kMin + 1}),
            DrainSequenceNumbers(&queue));

  EXPECT_TRUE(SequenceNumberIsLater(kMin, kMax));
  EXPECT_FALSE(SequenceNumberIsLater(kMax, kMin));
  EXPECT_FALSE(SequenceNumberIsLater(5, 5));
}

}  // namespace
}  // namespace base
