#include "base/threading/worker_pool.h"

#include <windows.h>

#include <vector>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Records on which thread it was destroyed.
class Tracer {
 public:
  explicit Tracer(DWORD* destroyed_on) : destroyed_on_(destroyed_on) {}
  ~Tracer() { *destroyed_on_ = ::GetCurrentThreadId(); }
  void Run() {}

 private:
  DWORD* destroyed_on_;
};

TEST(WorkerPoolTest, RunsTasksOnPoolThreads) {
  WaitableEvent done(WaitableEvent::ResetPolicy::MANUAL,
                     WaitableEvent::InitialState::NOT_SIGNALED);
  bool on_pool = false;
  DWORD thread = 0;
  ASSERT_TRUE(WorkerPool::PostTask(FROM_HERE, Bind([&] {
                                     on_pool =
                                         WorkerPool::RunsTasksOnCurrentThread();
                                     thread = ::GetCurrentThreadId();
                                     done.Signal();
                                   }),
                                   true));
  done.Wait();
  EXPECT_TRUE(on_pool);
  EXPECT_NE(::GetCurrentThreadId(), thread);
  EXPECT_FALSE(WorkerPool::RunsTasksOnCurrentThread());
}

TEST(PostTaskAndReplyTest, ReplyRunsHereAfterTheTaskWasReleased) {
  MessageLoop loop;
  RunLoop run_loop;
  DWORD task_ran_on = 0;
  DWORD task_destroyed_on = 0;
  DWORD reply_ran_on = 0;
  bool task_gone_at_reply = false;
  ASSERT_TRUE(WorkerPool::PostTaskAndReply(
      FROM_HERE,
      Bind(
          [&task_ran_on](Tracer*) { task_ran_on = ::GetCurrentThreadId(); },
          Owned(new Tracer(&task_destroyed_on))),
      Bind([&] {
        reply_ran_on = ::GetCurrentThreadId();
        task_gone_at_reply = task_destroyed_on != 0;
        run_loop.Quit();
      }),
      false));
  run_loop.Run();
  EXPECT_NE(::GetCurrentThreadId(), task_ran_on);
  EXPECT_EQ(::GetCurrentThreadId(), reply_ran_on);
  EXPECT_EQ(::GetCurrentThreadId(), task_destroyed_on);
  EXPECT_TRUE(task_gone_at_reply);
}

TEST(PostTaskAndReplyTest, RunnerToAThreadAndAFailedPost) {
  MessageLoop loop;
  Thread thread("target");
  ASSERT_TRUE(thread.Start());
  scoped_refptr<SingleThreadTaskRunner> runner = thread.task_runner();
  RunLoop run_loop;
  std::vector<int> order;
  ASSERT_TRUE(runner->PostTaskAndReply(
      FROM_HERE, Bind([&order] { order.push_back(1); }),
      Bind([&] {
        order.push_back(2);
        run_loop.Quit();
      })));
  run_loop.Run();
  EXPECT_EQ((std::vector<int>{1, 2}), order);

  // The target's loop is gone: nothing runs, both are released here.
  thread.Stop();
  DWORD task_destroyed_on = 0;
  DWORD reply_destroyed_on = 0;
  EXPECT_FALSE(runner->PostTaskAndReply(
      FROM_HERE,
      Bind(&Tracer::Run, Owned(new Tracer(&task_destroyed_on))),
      Bind(&Tracer::Run, Owned(new Tracer(&reply_destroyed_on)))));
  EXPECT_EQ(::GetCurrentThreadId(), task_destroyed_on);
  EXPECT_EQ(::GetCurrentThreadId(), reply_destroyed_on);
}

}  // namespace
}  // namespace base
