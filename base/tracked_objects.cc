#include "base/tracked_objects.h"

#include <stdio.h>

#include <atomic>
#include <limits>

#include "base/command_line.h"
#include "base/lazy_instance.h"
#include "base/threading/thread_local_storage.h"

#if defined(_WIN32)
#include "base/threading/worker_pool.h"
#endif

namespace base {
namespace tracked_objects {

namespace {

constexpr char kProfilerTimingSwitch[] = "profiler-timing";
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();

std::atomic<uint32_t> g_status{ThreadData::UNINITIALIZED};

// Cached without a barrier: a repeated first evaluation is harmless.
std::atomic<internal::ProfilerTiming> g_profiler_timing{
    internal::ProfilerTiming::UNDECIDED};

// Guards the lists and counters below.
LazyInstance<Lock> g_list_lock;
ThreadData* g_all_thread_data_list_head = nullptr;
ThreadData* g_first_retired_worker = nullptr;
int32_t g_incarnation_counter = 0;
int32_t g_worker_thread_data_creation_count = 0;
int32_t g_cleanup_count = 0;

// Sums stop at the limits rather than wrap: a saturated sum still says
// "very long".
int32_t SaturatedAdd(int32_t a, int32_t b) {
  const int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > kInt32Max)
    return kInt32Max;
  if (sum < kInt32Min)
    return kInt32Min;
  return static_cast<int32_t>(sum);
}

// Each thread's record, in a slot whose destructor retires the record when
// the thread ends. Set up once, under the list lock.
ThreadLocalStorage::StaticSlot g_tls = TLS_INITIALIZER;
std::atomic<bool> g_tls_ready{false};

// The value of --profiler-timing; false while the process has no command
// line.
bool ReadProfilerTimingSwitch(std::string* value) {
  const CommandLine* command_line = CommandLine::ForCurrentProcess();
  if (!command_line)
    return false;
  *value = command_line->GetSwitchValueASCII(kProfilerTimingSwitch);
  return true;
}

}  // namespace

namespace internal {

TrackedTime NarrowMilliseconds(TimeTicks ticks) {
  if (ticks.is_max())
    return -1;
  const int64_t ms = (ticks - TimeTicks()).InMilliseconds();
  return static_cast<TrackedTime>(static_cast<uint32_t>(ms));
}

int32_t ElapsedMilliseconds(TrackedTime start, TrackedTime end) {
  return static_cast<int32_t>(static_cast<uint32_t>(end) -
                              static_cast<uint32_t>(start));
}

int32_t QueueDuration(const TrackingInfo& task, TrackedTime start) {
  // Both sides are narrowed the same way, so the difference stays right
  // when the millisecond count passes 2^31 or wraps.
  const TrackedTime posted = task.delayed_run_time.is_null()
                                 ? task.time_posted
                                 : NarrowMilliseconds(task.delayed_run_time);
  if (!start || !posted)
    return 0;
  return ElapsedMilliseconds(posted, start);
}

void SetProfilerTimingForTesting(ProfilerTiming timing) {
  g_profiler_timing = timing;
}

}  // namespace internal

bool IsProfilerTimingEnabled() {
  const internal::ProfilerTiming cached = g_profiler_timing.load();
  if (cached != internal::ProfilerTiming::UNDECIDED)
    return cached == internal::ProfilerTiming::ENABLED;
  std::string value;
  if (!ReadProfilerTimingSwitch(&value))
    return true;  // Asked again once there is a command line.
  const bool enabled = value != "0";
  g_profiler_timing = enabled ? internal::ProfilerTiming::ENABLED
                              : internal::ProfilerTiming::DISABLED;
  return enabled;
}

Births::Births(const Location& location, const ThreadData& birth_thread)
    : location_(location), birth_thread_(&birth_thread), birth_count_(1) {}

void Births::RecordBirth() {
  if (birth_count_ < kInt32Max)
    ++birth_count_;
}

void DeathData::RecordDeath(int32_t queue_duration,
                            int32_t run_duration,
                            uint32_t random_number) {
  if (count_ < kInt32Max)
    ++count_;
  if (sample_probability_count_ < kInt32Max)
    ++sample_probability_count_;
  queue_duration_sum_ = SaturatedAdd(queue_duration_sum_, queue_duration);
  run_duration_sum_ = SaturatedAdd(run_duration_sum_, run_duration);
  if (queue_duration_max_ < queue_duration)
    queue_duration_max_ = queue_duration;
  if (run_duration_max_ < run_duration)
    run_duration_max_ = run_duration;
  if (sample_probability_count_ < 1)
    __builtin_trap();
  if (random_number % static_cast<uint32_t>(sample_probability_count_) == 0) {
    queue_duration_sample_ = queue_duration;
    run_duration_sample_ = run_duration;
  }
}

void DeathData::SetCountsForTesting(int32_t count) {
  count_ = count;
  sample_probability_count_ = count;
}

TrackingInfo::TrackingInfo(const Location& posted_from,
                           TimeTicks delayed_run_time)
    : birth_tally(nullptr),
      time_posted(ThreadData::Now()),
      delayed_run_time(delayed_run_time) {
  if (ThreadData::status() != ThreadData::ACTIVE)
    return;
  ThreadData* current = ThreadData::Get();
  if (current)
    birth_tally = current->TallyABirth(posted_from);
}

void TaskStopwatch::Start() {
  start_time_ = ThreadData::Now();
  current_thread_data_ = ThreadData::Get();
  if (!current_thread_data_)
    return;
  parent_ = current_thread_data_->current_stopwatch_;
  current_thread_data_->current_stopwatch_ = this;
}

void TaskStopwatch::Stop() {
  const TrackedTime end = ThreadData::Now();
  if (start_time_ && end)
    wallclock_duration_ms_ = internal::ElapsedMilliseconds(start_time_, end);
  if (current_thread_data_)
    current_thread_data_->current_stopwatch_ = parent_;
  if (parent_) {
    parent_->excluded_duration_ms_ =
        SaturatedAdd(parent_->excluded_duration_ms_, wallclock_duration_ms_);
  }
  parent_ = nullptr;
}

// static
TaskStopwatch* TaskStopwatch::Current() {
  ThreadData* thread_data = ThreadData::Get();
  return thread_data ? thread_data->current_stopwatch_ : nullptr;
}

// static
void TaskStopwatch::RestoreCurrent(TaskStopwatch* stopwatch) {
  ThreadData* thread_data = ThreadData::Get();
  if (thread_data)
    thread_data->current_stopwatch_ = stopwatch;
}

ThreadData::ThreadData(const std::string& name, int worker_thread_number)
    : thread_name_(name), worker_thread_number_(worker_thread_number) {
  PushToHeadOfList();
}

void ThreadData::PushToHeadOfList() {
  random_number_ += static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this) /
                                          sizeof(ThreadData));
  random_number_ ^= static_cast<uint32_t>(Now());
  AutoLock lock(g_list_lock.Get());
  incarnation_count_for_pool_ = g_incarnation_counter;
  next_ = g_all_thread_data_list_head;
  g_all_thread_data_list_head = this;
}

// static
void ThreadData::InitializeThreadContext(const std::string& name) {
#if defined(_WIN32)
  // The system pool's threads are shared with the rest of the process and
  // are profiled as unnamed workers.
  if (WorkerPool::RunsTasksOnCurrentThread())
    return;
#endif
  Initialize();
  if (g_tls.Get())
    return;
  g_tls.Set(new ThreadData(name, 0));
}

// static
void ThreadData::Initialize() {
  if (g_status.load() == ACTIVE)
    return;
  AutoLock lock(g_list_lock.Get());
  if (g_status.load() == ACTIVE)
    return;
  if (!g_tls_ready.load()) {
    g_tls.Initialize(&ThreadData::OnThreadTermination);
    g_tls_ready = true;
  }
  ++g_incarnation_counter;
  g_status = ACTIVE;
}

// static
ThreadData::Status ThreadData::status() {
  return static_cast<Status>(g_status.load());
}

// static
ThreadData* ThreadData::Get() {
  if (!g_tls_ready.load())
    return nullptr;
  ThreadData* registered = static_cast<ThreadData*>(g_tls.Get());
  if (registered)
    return registered;

  // An unnamed thread: reuse the record of an ended one, or make a new one.
  ThreadData* worker = nullptr;
  int worker_number = 0;
  {
    AutoLock lock(g_list_lock.Get());
    if (g_first_retired_worker) {
      worker = g_first_retired_worker;
      g_first_retired_worker = worker->next_retired_worker_;
      worker->next_retired_worker_ = nullptr;
    } else {
      // Numbers must stay positive; running out is not survivable.
      if (g_worker_thread_data_creation_count == kInt32Max)
        __builtin_trap();
      worker_number = ++g_worker_thread_data_creation_count;
    }
  }
  if (!worker) {
    char name[32];
    snprintf(name, sizeof(name), "WorkerThread-%d", worker_number);
    worker = new ThreadData(name, worker_number);
  }
  g_tls.Set(worker);
  return worker;
}

// static
TrackedTime ThreadData::Now() {
  if (status() != ACTIVE || !IsProfilerTimingEnabled())
    return 0;
  return internal::NarrowMilliseconds(TimeTicks::Now());
}

Births* ThreadData::TallyABirth(const Location& location) {
  // Only this thread inserts, so it may look up without the lock.
  BirthMap::iterator it = birth_map_.find(location);
  if (it != birth_map_.end()) {
    it->second->RecordBirth();
    return it->second;
  }
  Births* births = new Births(location, *this);
  AutoLock lock(map_lock_);
  birth_map_[location] = births;
  return births;
}

// static
void ThreadData::TallyRunOnNamedThreadIfTracking(
    const TrackingInfo& task,
    const TaskStopwatch& stopwatch) {
  const Births* births = task.birth_tally;
  ThreadData* current = stopwatch.GetThreadData();
  if (!births || !current)
    return;
  current->TallyADeath(
      *births, internal::QueueDuration(task, stopwatch.StartTime()), stopwatch);
}

void ThreadData::TallyADeath(const Births& births,
                             int32_t queue_duration,
                             const TaskStopwatch& stopwatch) {
  const int32_t run_duration = stopwatch.RunDurationMs();
  random_number_ += static_cast<uint32_t>(queue_duration) +
                    static_cast<uint32_t>(run_duration) + 2147483647u;
  random_number_ ^= static_cast<uint32_t>(
      reinterpret_cast<uintptr_t>(&births) / sizeof(Births));

  DeathMap::iterator it = death_map_.find(&births);
  DeathData* death_data;
  if (it != death_map_.end()) {
    death_data = &it->second;
  } else {
    AutoLock lock(map_lock_);
    death_data = &death_map_[&births];
  }
  death_data->RecordDeath(queue_duration, run_duration, random_number_);
}

void ThreadData::SnapshotMaps(BirthMap* births, DeathMap* deaths) const {
  AutoLock lock(map_lock_);
  *births = birth_map_;
  *deaths = death_map_;
}

// static
void ThreadData::OnThreadTermination(void* thread_data) {
  ThreadData* record = static_cast<ThreadData*>(thread_data);
  if (!record)
    return;
  AutoLock lock(g_list_lock.Get());
  if (record->incarnation_count_for_pool_ != g_incarnation_counter)
    return;
  ++g_cleanup_count;
  if (record->worker_thread_number_ == 0)
    return;
  record->next_retired_worker_ = g_first_retired_worker;
  g_first_retired_worker = record;
}

}  // namespace tracked_objects
}  // namespace base
