#include "base/threading/sequenced_worker_pool.h"

#include <windows.h>

#include <atomic>
#include <limits>
#include <memory>
#include <set>
#include <vector>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/threading/sequenced_task_runner_handle.h"
#include "base/threading/simple_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Shutdown = SequencedWorkerPool::WorkerShutdown;

class Event : public WaitableEvent {
 public:
  Event()
      : WaitableEvent(ResetPolicy::MANUAL, InitialState::NOT_SIGNALED) {}
};

// Waits until |done| holds, giving up after a generous time.
template <typename Predicate>
bool WaitUntil(Predicate done) {
  for (int i = 0; i < 1000 && !done(); ++i)
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(5));
  return done();
}

class PoolTest : public testing::Test {
 protected:
  void TearDown() override {
    for (auto& pool : pools_)
      pool->Shutdown(0);
  }

  scoped_refptr<SequencedWorkerPool> MakePool(size_t max_threads) {
    pools_.push_back(new SequencedWorkerPool(max_threads, "TestPool", 0));
    return pools_.back();
  }

  bool Post(SequencedWorkerPool* pool, Shutdown behavior, Closure task) {
    return pool->PostSequencedTask(SequencedWorkerPool::SequenceToken(),
                                   behavior, FROM_HERE, std::move(task),
                                   TimeDelta());
  }

  MessageLoop loop_;
  std::vector<scoped_refptr<SequencedWorkerPool>> pools_;
};

TEST_F(PoolTest, SequencedTasksRunOneAtATimeInPostingOrder) {
  auto pool = MakePool(3);
  SequencedWorkerPool::SequenceToken token = pool->GetNamedSequenceToken("a");
  EXPECT_TRUE(token.Equals(pool->GetNamedSequenceToken("a")));
  EXPECT_FALSE(token.Equals(pool->GetNamedSequenceToken("b")));

  Lock lock;
  std::vector<int> order;
  std::atomic<int> in_sequence{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> unsequenced{0};
  auto runner = pool->GetSequencedTaskRunnerWithShutdownBehavior(
      token, SequencedWorkerPool::BLOCK_SHUTDOWN);
  for (int i = 0; i < 12; ++i) {
    ASSERT_TRUE(runner->PostTask(FROM_HERE, Bind([&, i] {
      if (++in_sequence > 1)
        ++overlaps;
      EXPECT_TRUE(runner->RunsTasksOnCurrentThread());
      EXPECT_TRUE(SequencedTaskRunnerHandle::Get()->RunsTasksOnCurrentThread());
      PlatformThread::Sleep(TimeDelta::FromMilliseconds(2));
      {
        AutoLock hold(lock);
        order.push_back(i);
      }
      --in_sequence;
    })));
    // Free tasks keep the other workers (it may need any) busy meanwhile.
    ASSERT_TRUE(pool->PostTask(FROM_HERE, Bind([&] {
      EXPECT_TRUE(runner->MayRunTasksOnCurrentThread());
      ++unsequenced;
    })));
  }
  EXPECT_FALSE(runner->RunsTasksOnCurrentThread());
  auto other = MakePool(1);
  ASSERT_TRUE(other->PostTask(FROM_HERE, Bind([runner] {
    EXPECT_FALSE(runner->MayRunTasksOnCurrentThread());
  })));
  pool->Shutdown(0);
  EXPECT_EQ(0, overlaps.load());
  EXPECT_EQ(12, unsequenced.load());
  ASSERT_EQ(12u, order.size());
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(i, order[i]);
}

TEST_F(PoolTest, DelayedTaskHoldsBackNothingAndOneWorkerStaysOne) {
  auto pool = MakePool(1);
  bool delayed_ran = false;
  ASSERT_TRUE(pool->PostDelayedTask(FROM_HERE,
                                    Bind([&] { delayed_ran = true; }),
                                    TimeDelta::FromSeconds(100)));
  Lock lock;
  std::set<PlatformThreadId> threads;
  Event done;
  std::atomic<int> ran{0};
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(pool->PostTask(FROM_HERE, Bind([&] {
      {
        AutoLock hold(lock);
        threads.insert(PlatformThread::CurrentId());
      }
      if (++ran == 8)
        done.Signal();
    })));
  }
  done.Wait();
  EXPECT_EQ(1u, threads.size());
  // The delayed task may be skipped at shutdown.
  pool->Shutdown(0);
  EXPECT_FALSE(delayed_ran);
}

TEST_F(PoolTest, ShutdownDropsSkippedTasksAndWaitsForBlockingOnes) {
  auto pool = MakePool(1);
  Event started, release;
  std::atomic<bool> skipped_ran{false}, blocking_ran{false};
  std::atomic<bool> continued_finished{false};
  ASSERT_TRUE(Post(pool.get(), SequencedWorkerPool::CONTINUE_ON_SHUTDOWN,
                   Bind([&] {
                     started.Signal();
                     release.Wait();
                     continued_finished = true;
                   })));
  started.Wait();
  // Queued behind the running task.
  ASSERT_TRUE(Post(pool.get(), SequencedWorkerPool::SKIP_ON_SHUTDOWN,
                   Bind([&] { skipped_ran = true; })));
  ASSERT_TRUE(Post(pool.get(), SequencedWorkerPool::BLOCK_SHUTDOWN,
                   Bind([&] { blocking_ran = true; })));

  // The single worker is freed a little after Shutdown has begun: it then
  // drops the skippable task and runs the blocking one, which Shutdown
  // waits for.
  class Releaser : public SimpleThread {
   public:
    explicit Releaser(Event* release) : SimpleThread("Releaser"), r_(release) {}
    void Run() override {
      PlatformThread::Sleep(TimeDelta::FromMilliseconds(20));
      r_->Signal();
    }
    Event* r_;
  } releaser(&release);
  ASSERT_TRUE(releaser.Start());
  pool->Shutdown(0);
  releaser.Join();
  EXPECT_TRUE(blocking_ran);
  EXPECT_FALSE(skipped_ran);
  EXPECT_TRUE(continued_finished);
}

TEST_F(PoolTest, ShutdownDoesNotWaitForRunningContinueTasks) {
  auto pool = MakePool(2);
  Event started, release, finished;
  ASSERT_TRUE(Post(pool.get(), SequencedWorkerPool::CONTINUE_ON_SHUTDOWN,
                   Bind([&] {
                     started.Signal();
                     release.Wait();
                     finished.Signal();
                   })));
  started.Wait();
  pool->Shutdown(0);  // Returns while the task still runs.
  EXPECT_FALSE(finished.IsSignaled());
  release.Signal();
  finished.Wait();
}

TEST_F(PoolTest, AllowanceOfBlockingPostsAfterShutdown) {
  auto pool = MakePool(1);
  Event started, release;
  ASSERT_TRUE(Post(pool.get(), SequencedWorkerPool::BLOCK_SHUTDOWN, Bind([&] {
                     started.Signal();
                     release.Wait();
                   })));
  started.Wait();

  class ShutdownThread : public SimpleThread {
   public:
    explicit ShutdownThread(SequencedWorkerPool* pool)
        : SimpleThread("Shutdown"), pool_(pool) {}
    void Run() override { pool_->Shutdown(2); }
    SequencedWorkerPool* pool_;
  } shutdown(pool.get());
  ASSERT_TRUE(shutdown.Start());
  // Shutdown has begun once a skippable post is refused.
  ASSERT_TRUE(WaitUntil([&] {
    return !Post(pool.get(), SequencedWorkerPool::SKIP_ON_SHUTDOWN, Closure());
  }));

  std::atomic<int> late_ran{0};
  EXPECT_FALSE(Post(pool.get(), SequencedWorkerPool::CONTINUE_ON_SHUTDOWN,
                    Bind([] {})));
  EXPECT_TRUE(Post(pool.get(), SequencedWorkerPool::BLOCK_SHUTDOWN,
                   Bind([&] { ++late_ran; })));
  EXPECT_TRUE(Post(pool.get(), SequencedWorkerPool::BLOCK_SHUTDOWN,
                   Bind([&] { ++late_ran; })));
  EXPECT_FALSE(Post(pool.get(), SequencedWorkerPool::BLOCK_SHUTDOWN,
                    Bind([&] { ++late_ran; })));
  release.Signal();
  shutdown.Join();
  // Shutdown waited for the accepted ones.
  EXPECT_EQ(2, late_ran.load());
}

TEST_F(PoolTest, PostsAfterTheLastWorkerLeftAreRefused) {
  auto pool = MakePool(1);
  Event ran;
  ASSERT_TRUE(pool->PostTask(FROM_HERE, Bind([&] { ran.Signal(); })));
  ran.Wait();
  pool->Shutdown(1000);

  // Accepted posts must run; once the worker has left, posts are refused.
  std::atomic<int> late_ran{0};
  int accepted = 0;
  bool refused = false;
  for (int i = 0; i < 200 && !refused; ++i) {
    if (Post(pool.get(), SequencedWorkerPool::BLOCK_SHUTDOWN,
             Bind([&] { ++late_ran; }))) {
      ++accepted;
    } else {
      refused = true;
    }
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(5));
  }
  EXPECT_TRUE(refused);
  EXPECT_TRUE(WaitUntil([&] { return late_ran.load() == accepted; }));
}

TEST_F(PoolTest, ShutdownOfAnUnusedPoolReturnsAndRefusesPosts) {
  auto pool = MakePool(2);
  pool->Shutdown(5);
  EXPECT_FALSE(pool->PostTask(FROM_HERE, Bind([] {})));
}

TEST_F(PoolTest, FailedWorkerCreationDoesNotHangShutdown) {
  auto pool = MakePool(1);
  SequencedWorkerPool::SetWorkerStackSizeForTesting(
      std::numeric_limits<size_t>::max() / 2);
  bool ran = false;
  EXPECT_TRUE(pool->PostTask(FROM_HERE, Bind([&] { ran = true; })));
  SequencedWorkerPool::SetWorkerStackSizeForTesting(0);
  pool->Shutdown(0);
  EXPECT_FALSE(ran);
}

// The owner's ordinary "Shutdown(0); pool = nullptr;" leaves the last
// reference to a worker still finishing a task that shutdown does not wait
// for. Deleting joins the workers, so the pool goes on the creating thread's
// loop, or, when that thread has none, on a system pool thread.
TEST(SequencedWorkerPoolTest, LastReleaseOnAWorkerDeletesThePoolElsewhere) {
  // What the pool and its worker reach.
  struct Shared {
    Event started, release, deleted;
    DWORD deleted_on = 0;
    DWORD worker = 0;
  };
  class TestPool : public SequencedWorkerPool {
   public:
    TestPool(Shared* shared, RunLoop* run_loop)
        : SequencedWorkerPool(1, "Releasing", 0),
          shared_(shared),
          run_loop_(run_loop) {}

   private:
    ~TestPool() override {
      shared_->deleted_on = ::GetCurrentThreadId();
      if (run_loop_)
        run_loop_->Quit();
      // Last: the test may end as soon as it is signalled.
      shared_->deleted.Signal();
    }
    Shared* shared_;
    RunLoop* run_loop_;
  };
  // Generous: a pool that is not deleted fails the test instead of hanging
  // it.
  const TimeDelta kPatience = TimeDelta::FromSeconds(30);
  for (bool creator_has_loop : {true, false}) {
    SCOPED_TRACE(creator_has_loop ? "with a loop" : "without a loop");
    std::unique_ptr<MessageLoop> loop;
    std::unique_ptr<RunLoop> run_loop;
    if (creator_has_loop) {
      loop = std::make_unique<MessageLoop>();
      run_loop = std::make_unique<RunLoop>();
    }
    auto shared = std::make_unique<Shared>();
    Shared* s = shared.get();
    {
      scoped_refptr<SequencedWorkerPool> pool = new TestPool(s, run_loop.get());
      ASSERT_TRUE(pool->PostSequencedTask(
          SequencedWorkerPool::SequenceToken(),
          SequencedWorkerPool::CONTINUE_ON_SHUTDOWN, FROM_HERE, Bind([s] {
            s->worker = ::GetCurrentThreadId();
            s->started.Signal();
            s->release.Wait();
          }),
          TimeDelta()));
      s->started.Wait();
      pool->Shutdown(0);
    }
    s->release.Signal();
    if (run_loop) {
      loop->task_runner()->PostDelayedTask(FROM_HERE, run_loop->QuitClosure(),
                                           kPatience);
      run_loop->Run();
    }
    if (!s->deleted.TimedWait(kPatience)) {
      ADD_FAILURE() << "The pool was not deleted";
      // Left to the pool, should it still go.
      shared.release();
      run_loop.release();
      continue;
    }
    EXPECT_NE(s->worker, s->deleted_on);
    if (creator_has_loop)
      EXPECT_EQ(::GetCurrentThreadId(), s->deleted_on);
  }
}

}  // namespace
}  // namespace base
