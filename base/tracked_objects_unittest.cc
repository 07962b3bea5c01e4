#include "base/tracked_objects.h"

#include <stdio.h>
#include <stdlib.h>

#include <limits>
#include <string>
#include <thread>

#include "base/command_line.h"
#include "gtest/gtest.h"

#if defined(_WIN32)
#include "base/bind.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/threading/worker_pool.h"
#endif

namespace base {
namespace tracked_objects {
namespace {

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

TimeTicks TicksAtMs(int64_t ms) {
  return TimeTicks::FromInternalValue(ms * 1000);
}

TEST(TrackedTimeTest, DurationsStayRightWhenTheMillisecondCountWraps) {
  // Around 2^31 ms (24.8 days) and 2^32 ms (49.7 days) of uptime.
  for (int64_t base_ms : {int64_t{1} << 31, (int64_t{1} << 32) + 40,
                          (int64_t{1} << 32) + 123456789}) {
    const TrackedTime before = internal::NarrowMilliseconds(TicksAtMs(base_ms - 7));
    const TrackedTime after = internal::NarrowMilliseconds(TicksAtMs(base_ms + 5));
    EXPECT_EQ(12, internal::ElapsedMilliseconds(before, after)) << base_ms;

    // A delayed task: the full-width run time and the narrowed start time
    // must be compared in the same arithmetic, and the posting time (taken
    // or not, as other tests left the collection) is not what counts.
    TrackingInfo task(FROM_HERE, TicksAtMs(base_ms - 30));
    task.time_posted = internal::NarrowMilliseconds(TicksAtMs(base_ms - 1000));
    EXPECT_EQ(30, internal::QueueDuration(
                      task, internal::NarrowMilliseconds(TicksAtMs(base_ms))));
  }
  EXPECT_EQ(-1, internal::NarrowMilliseconds(TimeTicks::Max()));
  EXPECT_EQ(999, internal::NarrowMilliseconds(TimeTicks::FromInternalValue(999999)));

  // Immediate tasks use the posting time; a time not taken gives 0.
  TrackingInfo task(FROM_HERE, TimeTicks());
  task.time_posted = -10;
  EXPECT_EQ(25, internal::QueueDuration(task, 15));
  EXPECT_EQ(0, internal::QueueDuration(task, 0));
  task.time_posted = 0;
  EXPECT_EQ(0, internal::QueueDuration(task, 15));
}

TEST(DeathDataTest, SumsMaximaAndSamples) {
  DeathData data;
  data.RecordDeath(4, 10, 12345);  // The first run is always the sample.
  data.RecordDeath(8, 2, 1);       // 1 % 2 != 0: the sample stays.
  EXPECT_EQ(2, data.count());
  EXPECT_EQ(12, data.queue_duration_sum());
  EXPECT_EQ(12, data.run_duration_sum());
  EXPECT_EQ(8, data.queue_duration_max());
  EXPECT_EQ(10, data.run_duration_max());
  EXPECT_EQ(4, data.queue_duration_sample());
  EXPECT_EQ(10, data.run_duration_sample());
  data.RecordDeath(6, 3, 3);  // 3 % 3 == 0: replaced.
  EXPECT_EQ(6, data.queue_duration_sample());
  EXPECT_EQ(3, data.run_duration_sample());
}

TEST(DeathDataTest, CountsAndSumsStopAtTheLimit) {
  DeathData data;
  data.SetCountsForTesting(kInt32Max - 1);
  data.RecordDeath(kInt32Max, kInt32Max, 0);
  data.RecordDeath(kInt32Max, 1, 0);
  data.RecordDeath(1, 1, 0);
  EXPECT_EQ(kInt32Max, data.count());
  EXPECT_EQ(kInt32Max, data.sample_probability_count());
  EXPECT_EQ(kInt32Max, data.queue_duration_sum());
  EXPECT_EQ(kInt32Max, data.run_duration_sum());
}

// Runs one tracked task on this thread the way a message loop does.
void RunTrackedTask(const TrackingInfo& task) {
  TaskStopwatch stopwatch;
  stopwatch.Start();
  stopwatch.Stop();
  ThreadData::TallyRunOnNamedThreadIfTracking(task, stopwatch);
}

ThreadData* g_worker_record = nullptr;

void PostFromUnnamedThread() {
  TrackingInfo task(FROM_HERE, TimeTicks());
  g_worker_record = ThreadData::Get();
}

// The process-wide state starts only once, so the life of the collection
// is checked in a fresh process. Returns the first failure, or "".
std::string CollectionScenario() {
  // Before any thread is named nothing is recorded.
  TrackingInfo early(FROM_HERE, TimeTicks());
  if (early.birth_tally || early.time_posted)
    return "tracked before any thread was named";
  RunTrackedTask(early);
  if (ThreadData::Get() || ThreadData::status() != ThreadData::UNINITIALIZED)
    return "a record exists before any thread was named";

#if defined(_WIN32)
  // A task on the system pool that names its thread starts nothing.
  WaitableEvent done(WaitableEvent::ResetPolicy::MANUAL,
                     WaitableEvent::InitialState::NOT_SIGNALED);
  WorkerPool::PostTask(FROM_HERE, Bind([&done]() {
                         PlatformThread::SetName("PoolThread");
                         done.Signal();
                       }),
                       false);
  done.Wait();
  if (ThreadData::status() != ThreadData::UNINITIALIZED)
    return "naming a pool thread started the collection";
#endif

  // Timing is on while there is no command line, and then as the switch
  // says, decided once.
  if (!CommandLine::ForCurrentProcess()) {
    if (!IsProfilerTimingEnabled())
      return "timing off without a command line";
    CommandLine::Init();
  }
  CommandLine* command_line = CommandLine::ForCurrentProcess();
  command_line->AppendSwitchASCII("profiler-timing", "0");
  if (IsProfilerTimingEnabled())
    return "--profiler-timing=0 did not switch timing off";
  command_line->AppendSwitchASCII("profiler-timing", "1");
  if (IsProfilerTimingEnabled())
    return "the timing switch was read again";

#if defined(_WIN32)
  // Naming a thread is what starts the collection, except for this name.
  PlatformThread::SetName("BrokerEvent");
  if (ThreadData::status() != ThreadData::UNINITIALIZED)
    return "the broker's thread name started the collection";
  PlatformThread::SetName("TestMain");
#else
  ThreadData::InitializeThreadContext("TestMain");
#endif
  ThreadData* main_record = ThreadData::Get();
  if (ThreadData::status() != ThreadData::ACTIVE || !main_record ||
      main_record->thread_name() != "TestMain" ||
      main_record->worker_thread_number() != 0)
    return "naming the thread did not start the collection";
  ThreadData::InitializeThreadContext("Renamed");
  if (ThreadData::Get()->thread_name() != "TestMain")
    return "a second name replaced the record";

  // Three posts from one place, each run once; timing is off.
  Births* births = nullptr;
  for (int i = 0; i < 3; ++i) {
    TrackingInfo task(FROM_HERE, TimeTicks());
    if (births && task.birth_tally != births)
      return "one location made two birth records";
    births = task.birth_tally;
    RunTrackedTask(task);
  }
  ThreadData::BirthMap birth_map;
  ThreadData::DeathMap death_map;
  main_record->SnapshotMaps(&birth_map, &death_map);
  if (!births || births->birth_count() != 3 || birth_map.size() != 1)
    return "births not counted";
  const DeathData& deaths = death_map[births];
  if (deaths.count() != 3 || deaths.run_duration_sum() != 0 ||
      deaths.queue_duration_sum() != 0 || deaths.run_duration_max() != 0)
    return "runs not counted, or timed with timing off";

  // The first unnamed thread gets worker record 1; the next unnamed thread
  // reuses it once the first has ended.
  std::thread(&PostFromUnnamedThread).join();
  ThreadData* first_worker = g_worker_record;
  if (!first_worker || first_worker->thread_name() != "WorkerThread-1" ||
      first_worker->worker_thread_number() != 1)
    return "unnamed thread got no worker record 1";
  g_worker_record = nullptr;
  std::thread(&PostFromUnnamedThread).join();
  if (g_worker_record != first_worker)
    return "the ended worker's record was not reused";

  internal::SetProfilerTimingForTesting(internal::ProfilerTiming::ENABLED);
  TrackingInfo timed(FROM_HERE, TimeTicks());
  if (timed.time_posted == 0 &&
      internal::NarrowMilliseconds(TimeTicks::Now()) != 0)
    return "timing on, but no posting time taken";
  return "";
}

TEST(ThreadDataDeathTest, CollectionStartsWithTheFirstNamedThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const std::string failure = CollectionScenario();
        fprintf(stderr, "%s\n", failure.c_str());
        fflush(stderr);
        _exit(failure.empty() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tracked_objects
}  // namespace base
