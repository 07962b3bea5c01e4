#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/strings/string16.h"
#include "base/time/time.h"

namespace installer {

// Which time trigger a registered task gets.
enum ScheduledTaskMode : uint32_t {
  TASK_RUN_ONCE = 0,       // run now, then the task goes away
  TASK_RUN_DAILY = 1,      // every day from now on
  TASK_RUN_ON_DEMAND = 2,  // no time trigger
};

enum ScheduledTaskState {
  TASK_STATE_NOT_FOUND = 0,
  TASK_STATE_DISABLED = 1,
  TASK_STATE_UNKNOWN = 2,
  TASK_STATE_READY = 3,
  TASK_STATE_RUNNING = 4,
  TASK_STATE_NO_MORE_RUNS = 5,
};

// A task to register.
struct ScheduledTaskInfo {
  explicit ScheduledTaskInfo(const base::CommandLine& command);
  ~ScheduledTaskInfo();

  base::CommandLine command;     // the program and its arguments
  string16 task_id;              // the task is named after it
  string16 description;
  int32_t all_users = 0;         // 1: runs as the local system account
  uint32_t time_limit_seconds = 0;  // 0: no limit
  ScheduledTaskMode mode = TASK_RUN_ONCE;
  bool logon_trigger = false;    // ignored in TASK_RUN_ONCE
  bool run_only_with_network = false;
};

// The product's client of the Windows Task Scheduler. Every operation that
// takes a task id works on the task named GetScheduledTaskName(id), and
// every one but Init() needs a successful Init() first. Used on one thread
// that has COM initialised.
class TaskScheduler {
 public:
  virtual ~TaskScheduler() {}

  // The 2.0 implementation from Vista on, the 1.0 one before; not yet
  // connected.
  static std::unique_ptr<TaskScheduler> Create();

  virtual bool Init() = 0;
  // Replaces any task of the same name.
  virtual bool RegisterTask(const ScheduledTaskInfo& info) = 0;
  // Removes the enabled tasks of this product whose program is gone.
  virtual void DeleteOrphanedTasks() = 0;
  virtual void DeleteTask(const string16& task_id) = 0;
  virtual void SetDailyInterval(const string16& task_id, int days) = 0;
  virtual void SetEnabled(const string16& task_id, bool enabled) = 0;
  virtual bool RunTask(const string16& task_id,
                       const std::vector<string16>& arguments) = 0;
  virtual ScheduledTaskState GetState(const string16& task_id) = 0;
  // In local time; the null Time when not known.
  virtual base::Time GetLastRunTime(const string16& task_id) = 0;
};

// The product name, " scheduled ", then |task_id|.
string16 GetScheduledTaskName(const string16& task_id);

// What both implementations share, kept apart from the platform calls.
namespace task_scheduler {

// Whether the task name of |task_id| is a single valid file name, logged
// when not: every operation refuses any other id.
bool IsValidTaskId(const string16& task_id);

// Whether |name| begins, ignoring ASCII case, with the product name and
// " scheduled ": the names GetScheduledTaskName() gives.
bool IsOwnTaskName(const string16& name, const std::string& product_name);

enum TimeTrigger { TIME_TRIGGER_NONE, TIME_TRIGGER_ONCE, TIME_TRIGGER_DAILY };

struct TriggerPlan {
  TimeTrigger time = TIME_TRIGGER_NONE;
  // Start at logon (at boot for a 2.0 all-users task) as well.
  bool at_logon = false;
};

TriggerPlan PlanTriggers(const ScheduledTaskInfo& info);

// Whether |days| can be stored as a days interval (a positive 16-bit
// value); anything else would wrap into a different interval.
bool IsValidDaysInterval(int days);

// 1.0: the work item name for a name the enumeration gave, which carries
// the job file's ".job" extension that opening and deleting refuse.
string16 WorkItemNameFromJob(const string16& enumerated);

// 1.0: the job's flags and its longest run in milliseconds (INFINITE for
// no limit).
uint32_t V1TaskFlags(ScheduledTaskMode mode);
uint32_t V1MaxRunTimeMs(uint32_t time_limit_seconds);

// 1.0: the state for a task's status code.
ScheduledTaskState V1StateFromStatus(int32_t status);

// 2.0: the state for a TASK_STATE value.
ScheduledTaskState V2StateFromTaskState(int task_state);

// 2.0: "PT<seconds>S".
string16 ExecutionTimeLimit(uint32_t time_limit_seconds);

// 2.0: a trigger boundary, local time without zone.
string16 FormatBoundary(const base::Time::Exploded& local);

}  // namespace task_scheduler

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_H_
