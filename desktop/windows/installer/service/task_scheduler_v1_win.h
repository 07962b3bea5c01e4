#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V1_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V1_WIN_H_

#include <windows.h>
#include <mstask.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/task_scheduler.h"

namespace installer {

// The client over the Task Scheduler 1.0 interfaces (before Vista). Tasks
// are job files; 1.0 passes no arguments to a run.
class TaskSchedulerV1 : public TaskScheduler {
 public:
  TaskSchedulerV1();
  ~TaskSchedulerV1() override;

  TaskSchedulerV1(const TaskSchedulerV1&) = delete;
  TaskSchedulerV1& operator=(const TaskSchedulerV1&) = delete;

  bool Init() override;
  bool RegisterTask(const ScheduledTaskInfo& info) override;
  void DeleteOrphanedTasks() override;
  void DeleteTask(const string16& task_id) override;
  void SetDailyInterval(const string16& task_id, int days) override;
  void SetEnabled(const string16& task_id, bool enabled) override;
  bool RunTask(const string16& task_id,
               const std::vector<string16>& arguments) override;
  ScheduledTaskState GetState(const string16& task_id) override;
  base::Time GetLastRunTime(const string16& task_id) override;

  // Lets Authenticated Users read and run the job file open as |job|
  // (with READ_CONTROL and WRITE_DAC); a failure, logged, leaves it as it
  // was.
  static bool GrantJobFileAccess(HANDLE job);

 private:
  bool OpenTask(const string16& task_id, Microsoft::WRL::ComPtr<ITask>* task);
  // What the name of every job being made begins with.
  static string16 NewJobPrefix();
  // A unique name for a job being made: the prefix and a GUID; empty when
  // none can be made.
  static std::wstring NewJobName();
  static bool IsNewJobName(const string16& name);
  // Deletes the new jobs that registrations left unfinished.
  void DeleteLeftoverJobs();
  // The names of the scheduler's work items.
  std::vector<string16> ListWorkItems();
  // Whether the job |name| was saved at least a minute ago.
  bool IsOldJob(const wchar_t* name);
  // Sets the flags of |mode| (enabled) and saves the job.
  static bool EnableJob(ITask* task, ScheduledTaskMode mode);
  // Saves the job, waiting a bounded time while someone has it open.
  static bool SaveBusyJob(ITask* task);
  // Makes the job |name| for |info|, saved disabled first (one left by a
  // crash never runs), then enabled; |path| is its file.
  bool MakeJob(const std::wstring& name, const ScheduledTaskInfo& info,
               const std::wstring& user_name, std::wstring* path);
  // Puts the job file |from| under the name |to|, replacing what is there.
  static bool MoveJobFile(const std::wstring& from, const std::wstring& to);
  // Opens the new job file |path| for deletion and for setting its access,
  // waiting a bounded time while it is open without shared deletion.
  static HANDLE OpenNewJob(const std::wstring& path);
  // Deletes the new job |name| (through |job| when the scheduler cannot),
  // or failing that disables it.
  void DiscardNewJob(const std::wstring& name, base::win::ScopedHandle job);
  // Deletes the work item |name|, waiting a bounded time while it is open;
  // true when it is gone. Failures are logged.
  bool DeleteWorkItem(const std::wstring& name);
  bool ConfigureTask(ITask* task, const ScheduledTaskInfo& info,
                     const std::wstring& user_name);
  static bool AddTrigger(ITask* task, const base::Time::Exploded& local,
                         TASK_TRIGGER_TYPE type);
  static bool SaveTask(ITask* task);

  Microsoft::WRL::ComPtr<ITaskScheduler> scheduler_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_V1_WIN_H_
