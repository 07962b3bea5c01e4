#include "base/timer/timer.h"

#include <memory>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Forwards to the current loop and counts the posts.
class CountingRunner : public SingleThreadTaskRunner {
 public:
  CountingRunner() : target_(MessageLoop::current()->task_runner()) {}

  bool PostDelayedTask(const Location& from_here,
                       Closure task,
                       TimeDelta delay) override {
    ++posts;
    return target_->PostDelayedTask(from_here, std::move(task), delay);
  }
  bool PostNonNestableDelayedTask(const Location& from_here,
                                  Closure task,
                                  TimeDelta delay) override {
    return PostDelayedTask(from_here, std::move(task), delay);
  }
  bool RunsTasksOnCurrentThread() const override {
    return target_->RunsTasksOnCurrentThread();
  }

  int posts = 0;

 private:
  ~CountingRunner() override = default;
  scoped_refptr<SingleThreadTaskRunner> target_;
};

void RunFor(TimeDelta delay) {
  RunLoop run_loop;
  MessageLoop::current()->task_runner()->PostDelayedTask(
      FROM_HERE, run_loop.QuitClosure(), delay);
  run_loop.Run();
}

TEST(TimerTest, OneShotRunsOnceThenStops) {
  MessageLoop loop;
  OneShotTimer timer;
  int runs = 0;
  timer.Start(FROM_HERE, TimeDelta::FromMilliseconds(10),
              Bind([&runs] { ++runs; }));
  EXPECT_TRUE(timer.IsRunning());
  EXPECT_EQ(TimeDelta::FromMilliseconds(10), timer.GetCurrentDelay());
  RunFor(TimeDelta::FromMilliseconds(60));
  EXPECT_EQ(1, runs);
  EXPECT_FALSE(timer.IsRunning());
  // A one-shot timer without retain forgets its task.
  EXPECT_TRUE(timer.user_task().is_null());
}

TEST(TimerTest, ResetToALaterTimeKeepsThePostedTask) {
  MessageLoop loop;
  scoped_refptr<CountingRunner> runner = new CountingRunner();
  OneShotTimer timer;
  timer.SetTaskRunner(runner);
  int runs = 0;
  TimeTicks start = TimeTicks::Now();
  TimeTicks ran_at;
  RunLoop run_loop;
  timer.Start(FROM_HERE, TimeDelta::FromMilliseconds(300), Bind([&] {
    ++runs;
    ran_at = TimeTicks::Now();
    run_loop.Quit();
  }));
  EXPECT_EQ(1, runner->posts);
  RunFor(TimeDelta::FromMilliseconds(50));
  TimeTicks reset_at = TimeTicks::Now();
  timer.Reset();
  EXPECT_EQ(1, runner->posts);
  EXPECT_TRUE(timer.IsRunning());
  run_loop.Run();
  EXPECT_EQ(1, runs);
  // The first task reposted once for the rest of the time.
  EXPECT_EQ(2, runner->posts);
  EXPECT_GE(ran_at - reset_at, TimeDelta::FromMilliseconds(300));
  EXPECT_GE(ran_at - start, TimeDelta::FromMilliseconds(350));
}

TEST(TimerTest, ResetToAnEarlierTimePostsAnew) {
  MessageLoop loop;
  scoped_refptr<CountingRunner> runner = new CountingRunner();
  OneShotTimer timer;
  timer.SetTaskRunner(runner);
  int runs = 0;
  timer.Start(FROM_HERE, TimeDelta::FromSeconds(100),
              Bind([&runs] { ++runs; }));
  timer.Start(FROM_HERE, TimeDelta::FromMilliseconds(5),
              Bind([&runs] { ++runs; }));
  EXPECT_EQ(2, runner->posts);
  RunFor(TimeDelta::FromMilliseconds(50));
  EXPECT_EQ(1, runs);
  EXPECT_FALSE(timer.IsRunning());
}

TEST(TimerTest, RepeatingTimerStoppedByItsTaskRunsNoMore) {
  MessageLoop loop;
  RepeatingTimer timer;
  int runs = 0;
  RunLoop run_loop;
  timer.Start(FROM_HERE, TimeDelta::FromMilliseconds(5), Bind([&] {
    if (++runs == 3) {
      timer.Stop();
      run_loop.Quit();
    }
  }));
  run_loop.Run();
  RunFor(TimeDelta::FromMilliseconds(30));
  EXPECT_EQ(3, runs);
  EXPECT_FALSE(timer.IsRunning());
  // A repeating timer keeps its task and can start again.
  EXPECT_FALSE(timer.user_task().is_null());
}

TEST(TimerTest, RetainedTaskCanBeResetAfterItRan) {
  MessageLoop loop;
  int runs = 0;
  RunLoop* current = nullptr;
  DelayTimer timer(FROM_HERE, TimeDelta::FromMilliseconds(5), Bind([&] {
    ++runs;
    current->Quit();
  }));
  for (int i = 1; i <= 2; ++i) {
    RunLoop run_loop;
    current = &run_loop;
    timer.Reset();
    run_loop.Run();
    EXPECT_EQ(i, runs);
    EXPECT_FALSE(timer.IsRunning());
  }
}

TEST(TimerTest, TaskMayDestroyTheTimer) {
  MessageLoop loop;
  auto timer = std::make_unique<RepeatingTimer>();
  int runs = 0;
  RunLoop run_loop;
  timer->Start(FROM_HERE, TimeDelta::FromMilliseconds(1), Bind([&] {
    ++runs;
    timer.reset();
    run_loop.Quit();
  }));
  run_loop.Run();
  RunFor(TimeDelta::FromMilliseconds(10));
  EXPECT_EQ(1, runs);
}

TEST(TimerTest, TaskDeletedWithItsLoopStopsTheTimer) {
  OneShotTimer timer;
  {
    MessageLoop loop;
    timer.Start(FROM_HERE, TimeDelta::FromSeconds(100), Bind([] {}));
    EXPECT_TRUE(timer.IsRunning());
  }
  EXPECT_FALSE(timer.IsRunning());
}

}  // namespace
}  // namespace base
