#include "base/message_loop/message_loop.h"

#include <windows.h>

#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/message_loop/incoming_task_queue.h"
#include "base/message_loop/message_loop_win.h"
#include "base/run_loop.h"
#include "base/test/function_window_win_testsupport.h"
#include "base/synchronization/lock.h"
#include "base/threading/platform_thread.h"
#include "base/threading/simple_thread.h"
#include "base/threading/thread_task_runner_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Order = std::vector<std::string>;

Closure Record(Order* order, const std::string& name) {
  return Bind([order, name] { order->push_back(name); });
}

// Runs the current loop until |delay| has passed.
void RunFor(TimeDelta delay) {
  RunLoop run_loop;
  MessageLoop::current()->task_runner()->PostDelayedTask(
      FROM_HERE, run_loop.QuitClosure(), delay);
  run_loop.Run();
}

// Runs the current loop until everything posted so far has run.
void RunPosted() {
  RunLoop run_loop;
  MessageLoop::current()->task_runner()->PostTask(FROM_HERE,
                                                  run_loop.QuitClosure());
  run_loop.Run();
}

// Runs |on_destroy| when the closure that holds it is destroyed.
class DestructionAction {
 public:
  explicit DestructionAction(Closure on_destroy)
      : on_destroy_(std::move(on_destroy)) {}
  ~DestructionAction() { on_destroy_.Run(); }
  void Run() {}

 private:
  Closure on_destroy_;
};

Closure TaskWithDestructionAction(Closure on_destroy) {
  return Bind(&DestructionAction::Run,
              Owned(new DestructionAction(std::move(on_destroy))));
}

TEST(MessageLoopTest, RunsImmediateTasksFirstThenDelayedByTimeAndPostingOrder) {
  for (MessageLoop::Type type :
       {MessageLoop::TYPE_DEFAULT, MessageLoop::TYPE_UI, MessageLoop::TYPE_IO}) {
    MessageLoop loop(type);
    Order order;
    auto runner = loop.task_runner();
    runner->PostDelayedTask(FROM_HERE, Record(&order, "late"),
                            TimeDelta::FromMilliseconds(200));
    runner->PostDelayedTask(FROM_HERE, Record(&order, "early1"),
                            TimeDelta::FromMilliseconds(100));
    runner->PostTask(FROM_HERE, Record(&order, "now1"));
    runner->PostDelayedTask(FROM_HERE, Record(&order, "early2"),
                            TimeDelta::FromMilliseconds(100));
    runner->PostTask(FROM_HERE, Record(&order, "now2"));
    RunFor(TimeDelta::FromMilliseconds(300));
    EXPECT_EQ((Order{"now1", "now2", "early1", "early2", "late"}), order)
        << "loop type " << type;
  }
}

TEST(MessageLoopTest, ImmediateAndDueDelayedTasksAlternate) {
  for (MessageLoop::Type type :
       {MessageLoop::TYPE_DEFAULT, MessageLoop::TYPE_UI, MessageLoop::TYPE_IO}) {
    MessageLoop loop(type);
    Order order;
    RunLoop run_loop;
    auto runner = loop.task_runner();
    const TimeDelta delay = TimeDelta::FromMilliseconds(1);
    runner->PostDelayedTask(FROM_HERE, Record(&order, "d1"), delay);
    runner->PostDelayedTask(FROM_HERE, Record(&order, "d2"), delay);
    runner->PostDelayedTask(FROM_HERE, Bind([&] {
                              order.push_back("d3");
                              run_loop.Quit();
                            }),
                            delay);
    for (const char* name : {"i1", "i2", "i3"})
      runner->PostTask(FROM_HERE, Record(&order, name));
    // Every delayed task is due before the loop first looks.
    const TimeTicks due = TimeTicks::Now() + delay;
    while (TimeTicks::Now() <= due)
      PlatformThread::Sleep(delay);
    run_loop.Run();
    EXPECT_EQ((Order{"i1", "d1", "i2", "d2", "i3", "d3"}), order)
        << "loop type " << type;
  }
}

TEST(MessageLoopTest, DelaysBelow32MillisecondsAreHighResolution) {
  MessageLoop loop;
  // Never started, so it sends no wake-up and keeps its tasks for us.
  scoped_refptr<internal::IncomingTaskQueue> queue =
      new internal::IncomingTaskQueue(&loop);
  const struct {
    TimeDelta delay;
    bool high_res;
  } kCases[] = {
      {TimeDelta(), false},
      {TimeDelta::FromMilliseconds(-1), false},
      {TimeDelta::FromMicroseconds(1), true},
      {TimeDelta::FromMilliseconds(31), true},
      {TimeDelta::FromMicroseconds(31999), true},
      {TimeDelta::FromMilliseconds(32), false},
      {TimeDelta::Max(), false},
  };
  for (const auto& c : kCases)
    queue->AddToIncomingQueue(FROM_HERE, Bind([] {}), c.delay, true);
  TaskQueue work_queue;
  EXPECT_EQ(3, queue->ReloadWorkQueue(&work_queue));
  for (const auto& c : kCases) {
    ASSERT_FALSE(work_queue.empty());
    EXPECT_EQ(c.high_res, work_queue.front().is_high_res)
        << c.delay.InMicroseconds() << " us";
    work_queue.pop();
  }
}

TEST(MessageLoopTest, PostsFromManyThreadsKeepEachThreadsOrder) {
  MessageLoop loop;
  constexpr int kThreads = 4;
  constexpr int kPostsPerThread = 500;
  std::vector<std::vector<int>> seen(kThreads);

  class Poster : public SimpleThread {
   public:
    Poster(scoped_refptr<SingleThreadTaskRunner> runner,
           std::vector<int>* seen)
        : SimpleThread("Poster"), runner_(std::move(runner)), seen_(seen) {}
    void Run() override {
      for (int i = 0; i < kPostsPerThread; ++i) {
        std::vector<int>* seen = seen_;
        EXPECT_TRUE(runner_->PostTask(
            FROM_HERE, Bind([seen, i] { seen->push_back(i); })));
      }
    }

   private:
    scoped_refptr<SingleThreadTaskRunner> runner_;
    std::vector<int>* seen_;
  };

  std::vector<std::unique_ptr<Poster>> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.push_back(std::make_unique<Poster>(loop.task_runner(), &seen[t]));
    ASSERT_TRUE(posters.back()->Start());
  }
  for (auto& poster : posters)
    poster->Join();
  RunPosted();

  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(static_cast<size_t>(kPostsPerThread), seen[t].size());
    for (int i = 0; i < kPostsPerThread; ++i)
      EXPECT_EQ(i, seen[t][i]);
  }
}

TEST(MessageLoopTest, RunnerKnowsItsThread) {
  MessageLoop loop;
  scoped_refptr<SingleThreadTaskRunner> runner = ThreadTaskRunnerHandle::Get();
  EXPECT_EQ(loop.task_runner(), runner);
  EXPECT_EQ(&loop, MessageLoop::current());
  EXPECT_TRUE(runner->RunsTasksOnCurrentThread());

  class Asker : public SimpleThread {
   public:
    explicit Asker(SingleThreadTaskRunner* runner)
        : SimpleThread("Asker"), runner_(runner) {}
    void Run() override {
      answer_ = runner_->RunsTasksOnCurrentThread();
      has_loop_ = MessageLoop::current() != nullptr;
    }
    SingleThreadTaskRunner* runner_;
    bool answer_ = true;
    bool has_loop_ = true;
  } asker(runner.get());
  ASSERT_TRUE(asker.Start());
  asker.Join();
  EXPECT_FALSE(asker.answer_);
  EXPECT_FALSE(asker.has_loop_);
}

TEST(RunLoopTest, QuitBeforeRunAndStaleQuitClosures) {
  // Run loops may outlive their loop and go in any order: none writes into
  // memory that the loop or another run loop has left.
  {
    alignas(MessageLoop) unsigned char loop_memory[sizeof(MessageLoop)];
    alignas(RunLoop) unsigned char middle_memory[sizeof(RunLoop)];
    MessageLoop* loop = new (loop_memory) MessageLoop;
    auto older = std::make_unique<RunLoop>();
    RunLoop* middle = new (middle_memory) RunLoop;
    auto newer = std::make_unique<RunLoop>();
    middle->~RunLoop();
    memset(middle_memory, 0xA5, sizeof(middle_memory));
    older.reset();
    loop->~MessageLoop();
    memset(loop_memory, 0xA5, sizeof(loop_memory));
    newer.reset();
    auto bytes = [](const unsigned char* memory, size_t size) {
      return std::string(memory, memory + size);
    };
    EXPECT_EQ(std::string(sizeof(loop_memory), '\xA5'),
              bytes(loop_memory, sizeof(loop_memory)));
    EXPECT_EQ(std::string(sizeof(middle_memory), '\xA5'),
              bytes(middle_memory, sizeof(middle_memory)));
  }

  MessageLoop loop;
  {
    RunLoop run_loop;
    run_loop.Quit();
    run_loop.Run();  // Returns at once.
    EXPECT_FALSE(run_loop.running());
  }
  Closure stale;
  {
    RunLoop run_loop;
    stale = run_loop.QuitClosure();
  }
  stale.Run();  // Does nothing: its run loop is gone.

  // The stale closure must not have ended this run early.
  Order order;
  loop.task_runner()->PostTask(FROM_HERE, stale);
  loop.task_runner()->PostTask(FROM_HERE, Record(&order, "after"));
  RunPosted();
  EXPECT_EQ((Order{"after"}), order);
}

TEST(RunLoopTest, NestedRunInsideTaskRunsNoPostedTask) {
  // WM_QUIT ends the innermost run and is posted again for the enclosing one.
  MessageLoopForUI loop;
  Order order;
  RunLoop outer;
  loop.task_runner()->PostTask(FROM_HERE, Bind([&] {
    loop.task_runner()->PostTask(FROM_HERE, Record(&order, "posted"));
    ::PostQuitMessage(0);
    RunLoop nested;
    nested.Run();
    order.push_back("nested done");
  }));
  outer.Run();
  EXPECT_EQ((Order{"nested done"}), order);
  // The outermost run posted the quit again; the thread's queue keeps it.
  MSG msg;
  EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  RunPosted();
  EXPECT_EQ((Order{"nested done", "posted"}), order);
}

TEST(RunLoopTest, NonNestableTasksWaitForDepthOne) {
  // DeleteSoon, here from another thread, posts a non-nestable task.
  class Deletable {
   public:
    Deletable(Order* order, DWORD* deleted_on, RunLoop* outer)
        : order_(order), deleted_on_(deleted_on), outer_(outer) {}
    ~Deletable() {
      order_->push_back("deleted");
      *deleted_on_ = ::GetCurrentThreadId();
      outer_->Quit();
    }

   private:
    Order* order_;
    DWORD* deleted_on_;
    RunLoop* outer_;
  };
  class Deleter : public SimpleThread {
   public:
    Deleter(MessageLoop* loop, Deletable* object)
        : SimpleThread("Deleter"), loop_(loop), object_(object) {}
    void Run() override { loop_->DeleteSoon(FROM_HERE, object_); }

   private:
    MessageLoop* loop_;
    Deletable* object_;
  };
  MessageLoopForUI loop;
  Order order;
  DWORD deleted_on = 0;
  RunLoop outer;
  auto runner = loop.task_runner();
  FunctionWindow window;
  std::function<void()> on_message = [&] {
    RunLoop nested;
    Deleter deleter(&loop, new Deletable(&order, &deleted_on, &outer));
    ASSERT_TRUE(deleter.Start());
    deleter.Join();
    runner->PostTask(FROM_HERE, Bind([&] {
      order.push_back("nestable");
      nested.Quit();
    }));
    nested.Run();
    order.push_back("nested done");
  };
  window.Post(&on_message);
  outer.Run();
  EXPECT_EQ((Order{"nestable", "nested done", "deleted"}), order);
  EXPECT_EQ(::GetCurrentThreadId(), deleted_on);
}

TEST(RunLoopTest, QuitOfOuterRunDuringInnerRunEndsItAfterTheInner) {
  MessageLoopForUI loop;
  Order order;
  RunLoop outer;
  auto runner = loop.task_runner();
  FunctionWindow window;
  std::function<void()> on_message = [&] {
    RunLoop inner;
    runner->PostTask(FROM_HERE, Bind([&] {
      outer.Quit();
      order.push_back("quit both");
      inner.Quit();
    }));
    runner->PostTask(FROM_HERE, Record(&order, "later"));
    inner.Run();
    order.push_back("inner done");
  };
  window.Post(&on_message);
  outer.Run();
  EXPECT_EQ((Order{"quit both", "inner done"}), order);
  RunPosted();
  EXPECT_EQ((Order{"quit both", "inner done", "later"}), order);
}

TEST(MessageLoopTest, PendingTasksAreDeletedOnItsThreadWhenDestroyed) {
  PlatformThreadId loop_thread = PlatformThread::CurrentId();
  std::vector<PlatformThreadId> deleted_on;
  auto record_thread = [&deleted_on] {
    deleted_on.push_back(PlatformThread::CurrentId());
  };
  scoped_refptr<SingleThreadTaskRunner> kept_runner;
  {
    auto loop = std::make_unique<MessageLoop>();
    kept_runner = loop->task_runner();
    // A task whose destruction posts another one: deleted in a later pass.
    kept_runner->PostDelayedTask(
        FROM_HERE, TaskWithDestructionAction(Bind([&, record_thread] {
          record_thread();
          kept_runner->PostTask(FROM_HERE,
                                TaskWithDestructionAction(Bind(record_thread)));
        })),
        TimeDelta::FromSeconds(100));
    kept_runner->PostTask(FROM_HERE,
                          TaskWithDestructionAction(Bind(record_thread)));

    // An observer posts while the loop is told of its destruction, after
    // the deletion passes; the runner outlives the loop.
    class Poster : public MessageLoop::DestructionObserver {
     public:
      Poster(SingleThreadTaskRunner* runner, Closure task)
          : runner_(runner), task_(std::move(task)) {}
      void WillDestroyCurrentMessageLoop() override {
        runner_->PostTask(FROM_HERE, task_);
        task_.Reset();
      }
      SingleThreadTaskRunner* runner_;
      Closure task_;
    } poster(kept_runner.get(),
             TaskWithDestructionAction(Bind(record_thread)));
    loop->AddDestructionObserver(&poster);
    loop.reset();
  }
  ASSERT_EQ(4u, deleted_on.size());
  for (PlatformThreadId id : deleted_on)
    EXPECT_EQ(loop_thread, id);

  // The loop is gone: posting fails and releases the task here.
  bool released = false;
  EXPECT_FALSE(kept_runner->PostTask(
      FROM_HERE, TaskWithDestructionAction(Bind([&] { released = true; }))));
  EXPECT_TRUE(released);
  EXPECT_FALSE(kept_runner->RunsTasksOnCurrentThread() &&
               MessageLoop::current());
}

TEST(MessageLoopTest, DeletionPassesAreBounded) {
  // Each deleted task posts a successor; the chain ends after 150.
  int remaining = 150;
  int deleted = 0;
  std::function<Closure()> make_task;
  MessageLoop* loop_ptr = nullptr;
  scoped_refptr<SingleThreadTaskRunner> runner;
  make_task = [&]() -> Closure {
    return TaskWithDestructionAction(Bind([&] {
      ++deleted;
      if (--remaining > 0)
        runner->PostTask(FROM_HERE, make_task());
    }));
  };
  {
    auto loop = std::make_unique<MessageLoop>();
    loop_ptr = loop.get();
    runner = loop->task_runner();
    runner->PostTask(FROM_HERE, make_task());
    loop.reset();
  }
  (void)loop_ptr;
  // 100 passes, the drain after the detach, then failed posts release the
  // rest at once; none is left behind.
  EXPECT_EQ(150, deleted);
  EXPECT_EQ(0, remaining);
}

TEST(MessageLoopTest, DestructionObserversAreToldUnlessRemoved) {
  class Observer : public MessageLoop::DestructionObserver {
   public:
    void WillDestroyCurrentMessageLoop() override { ++calls; }
    int calls = 0;
  } told, removed;
  {
    MessageLoop loop;
    loop.AddDestructionObserver(&told);
    loop.AddDestructionObserver(&removed);
    loop.RemoveDestructionObserver(&removed);
  }
  EXPECT_EQ(1, told.calls);
  EXPECT_EQ(0, removed.calls);
  EXPECT_EQ(nullptr, MessageLoop::current());
}

}  // namespace
}  // namespace base
