#ifndef BASE_TRACKED_OBJECTS_H_
#define BASE_TRACKED_OBJECTS_H_

#include <stdint.h>

#include <map>
#include <string>

#include "base/location.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"

namespace base {
namespace tracked_objects {

// Milliseconds of TimeTicks narrowed to 32 bits. The value wraps about every
// 49.7 days, so only differences taken in the same 32-bit arithmetic mean
// anything. 0 means that no time was taken.
using TrackedTime = int32_t;

class ThreadData;

// The posts from one location on one thread.
class Births {
 public:
  Births(const Location& location, const ThreadData& birth_thread);

  const Location& location() const { return location_; }
  const ThreadData* birth_thread() const { return birth_thread_; }
  int32_t birth_count() const { return birth_count_; }
  void RecordBirth();

 private:
  Location location_;
  const ThreadData* birth_thread_;
  int32_t birth_count_;
};

// The runs, on one thread, of the tasks posted from one location.
class DeathData {
 public:
  DeathData() = default;

  // `random_number` picks whether this run becomes the sample: each run
  // replaces it with probability 1/count, a uniform sample.
  void RecordDeath(int32_t queue_duration,
                   int32_t run_duration,
                   uint32_t random_number);

  int32_t count() const { return count_; }
  int32_t sample_probability_count() const { return sample_probability_count_; }
  int32_t run_duration_sum() const { return run_duration_sum_; }
  int32_t queue_duration_sum() const { return queue_duration_sum_; }
  int32_t run_duration_max() const { return run_duration_max_; }
  int32_t queue_duration_max() const { return queue_duration_max_; }
  int32_t run_duration_sample() const { return run_duration_sample_; }
  int32_t queue_duration_sample() const { return queue_duration_sample_; }

  // Counts near their limit cannot be reached by recording in a test.
  void SetCountsForTesting(int32_t count);

 private:
  int32_t count_ = 0;
  int32_t sample_probability_count_ = 0;
  int32_t run_duration_sum_ = 0;
  int32_t queue_duration_sum_ = 0;
  int32_t run_duration_max_ = 0;
  int32_t queue_duration_max_ = 0;
  int32_t run_duration_sample_ = 0;
  int32_t queue_duration_sample_ = 0;
};

// The part of a pending task that says where and when it was posted.
struct TrackingInfo {
  TrackingInfo(const Location& posted_from, TimeTicks delayed_run_time);

  Births* birth_tally;  // Null when nothing was tracked at posting.
  TrackedTime time_posted;
  TimeTicks delayed_run_time;
};

// Times one task run on the stack. Time spent in nested stopwatches (tasks
// run from inside a task) is excluded from the outer run.
class TaskStopwatch {
 public:
  TaskStopwatch() = default;
  TaskStopwatch(const TaskStopwatch&) = delete;
  TaskStopwatch& operator=(const TaskStopwatch&) = delete;

  void Start();
  void Stop();

  // The calling thread's innermost running stopwatch, or null.
  static TaskStopwatch* Current();
  // Makes |stopwatch| (saved by Current) the innermost again, after an
  // exception unwound the stopwatches started since without stopping them.
  static void RestoreCurrent(TaskStopwatch* stopwatch);

  TrackedTime StartTime() const { return start_time_; }
  int32_t RunDurationMs() const {
    return wallclock_duration_ms_ - excluded_duration_ms_;
  }
  ThreadData* GetThreadData() const { return current_thread_data_; }

 private:
  TrackedTime start_time_ = 0;
  int32_t wallclock_duration_ms_ = 0;
  ThreadData* current_thread_data_ = nullptr;
  int32_t excluded_duration_ms_ = 0;
  TaskStopwatch* parent_ = nullptr;
};

// Timing can be switched off with --profiler-timing=0.
bool IsProfilerTimingEnabled();

namespace internal {

// Milliseconds narrowed to 32 bits, wrapping; the largest time gives -1.
TrackedTime NarrowMilliseconds(TimeTicks ticks);
// end - start in the wrapping 32-bit arithmetic of TrackedTime.
int32_t ElapsedMilliseconds(TrackedTime start, TrackedTime end);
// From posting (or from the delayed run time, when there is one) to `start`;
// 0 when either time was not taken.
int32_t QueueDuration(const TrackingInfo& task, TrackedTime start);

enum class ProfilerTiming { UNDECIDED, ENABLED, DISABLED };
void SetProfilerTimingForTesting(ProfilerTiming timing);

}  // namespace internal

// The statistics of one thread that posts or runs tracked tasks. Records are
// never freed; a record of an ended unnamed thread is reused by the next one.
class ThreadData {
 public:
  enum Status : uint32_t { UNINITIALIZED = 0, ACTIVE = 1 };

  using BirthMap = std::map<Location, Births*>;
  using DeathMap = std::map<const Births*, DeathData>;

  ThreadData(const ThreadData&) = delete;
  ThreadData& operator=(const ThreadData&) = delete;

  // Called when a thread is named: starts collection in the process and
  // gives the thread a record under that name.
  static void InitializeThreadContext(const std::string& name);
  static void Initialize();
  static Status status();

  // The calling thread's record; an unnamed thread gets a worker record.
  // Null until collection has started.
  static ThreadData* Get();

  // 0 unless collection is active and timing enabled.
  static TrackedTime Now();

  static void TallyRunOnNamedThreadIfTracking(const TrackingInfo& task,
                                              const TaskStopwatch& stopwatch);

  Births* TallyABirth(const Location& location);

  const std::string& thread_name() const { return thread_name_; }
  int worker_thread_number() const { return worker_thread_number_; }

  // Copies of the maps, taken under the map lock.
  void SnapshotMaps(BirthMap* births, DeathMap* deaths) const;

 private:
  friend class TaskStopwatch;

  ThreadData(const std::string& name, int worker_thread_number);

  void PushToHeadOfList();
  void TallyADeath(const Births& births,
                   int32_t queue_duration,
                   const TaskStopwatch& stopwatch);
  static void OnThreadTermination(void* thread_data);

  ThreadData* next_ = nullptr;
  ThreadData* next_retired_worker_ = nullptr;
  std::string thread_name_;
  int worker_thread_number_;
  BirthMap birth_map_;
  DeathMap death_map_;
  mutable Lock map_lock_;
  uint32_t random_number_ = 0;
  int32_t incarnation_count_for_pool_ = -1;
  TaskStopwatch* current_stopwatch_ = nullptr;
};

}  // namespace tracked_objects
}  // namespace base

#endif  // BASE_TRACKED_OBJECTS_H_
